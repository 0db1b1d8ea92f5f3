// The language reference shown by the help viewer: an overview, a page per
// statement family listing its statements from the instruction table with our
// own explanation, a page on operators and one on the program image and its
// limits. Every keyword the editor's keyword help can derive from a statement
// leads to a topic. Content only: showing it is the help viewer's job.
#pragma once

#include "platform/help_viewer.h"

#include <vector>

namespace kt::help {

std::vector<platform::HelpTopic> LanguageReference();

// The topic that explains row index of the instruction table; empty outside it.
QString TopicOfRow(int index);

// Row index written out with sample values, as its page shows it
// ("Counter0 = 100", "WordCounter.2 = Analog.3"); empty outside the table.
QString ExampleLineOf(int index);

} // namespace kt::help

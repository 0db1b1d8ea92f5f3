#include "platform/help_viewer.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace kt::platform {

namespace {

constexpr int kTopicRole = Qt::UserRole;
const QString kTopicScheme = QStringLiteral("topic");

bool IndexOrder(const QString& a, const QString& b) {
    const int folded = QString::compare(a, b, Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

} // namespace

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("KtMotor Help"));

    auto* toolBar = new QToolBar(this);
    m_backAction = toolBar->addAction(tr("Back"), this, [this] { GoBack(); });
    m_backAction->setShortcut(QKeySequence::Back);
    m_forwardAction = toolBar->addAction(tr("Forward"), this, [this] { GoForward(); });
    m_forwardAction->setShortcut(QKeySequence::Forward);

    m_contentsList = new QListWidget;
    m_contentsList->setObjectName(QStringLiteral("contents"));
    // Screen readers name what the tabs' captions name for the eye.
    m_contentsList->setAccessibleName(tr("Help topics"));

    m_searchField = new QLineEdit;
    m_searchField->setObjectName(QStringLiteral("search"));
    m_searchField->setPlaceholderText(tr("Type the first letters of a keyword"));
    m_searchField->installEventFilter(this);
    m_searchField->setAccessibleName(tr("Keyword"));
    m_indexList = new QListWidget;
    m_indexList->setObjectName(QStringLiteral("index"));
    m_indexList->setAccessibleName(tr("Keywords"));
    m_indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(m_indexPage);
    indexLayout->addWidget(m_searchField);
    indexLayout->addWidget(m_indexList);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("tabs"));
    m_tabs->addTab(m_contentsList, tr("Contents"));
    m_tabs->addTab(m_indexPage, tr("Index"));

    m_pane = new QTextBrowser;
    m_pane->setObjectName(QStringLiteral("topic"));
    m_pane->setAccessibleName(tr("Topic"));
    // Our links name topics, not files: we resolve them ourselves.
    m_pane->setOpenLinks(false);

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_tabs);
    splitter->addWidget(m_pane);
    splitter->setStretchFactor(1, 3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(toolBar);
    layout->addWidget(splitter);
    resize(860, 580);

    connect(m_contentsList, &QListWidget::itemClicked, this, [this](const QListWidgetItem* item) {
        Navigate(item->data(kTopicRole).toString(), {});
    });
    connect(m_contentsList, &QListWidget::itemActivated, this, [this](const QListWidgetItem* item) {
        Navigate(item->data(kTopicRole).toString(), {});
    });
    connect(m_searchField, &QLineEdit::textEdited, this, &HelpViewer::SelectInIndex);
    connect(m_searchField, &QLineEdit::returnPressed, this,
            [this] { OpenIndexEntry(m_indexList->currentItem()); });
    connect(m_indexList, &QListWidget::itemClicked, this,
            [this](const QListWidgetItem* item) { m_searchField->setText(item->text()); });
    connect(m_indexList, &QListWidget::itemActivated, this, &HelpViewer::OpenIndexEntry);
    connect(m_pane, &QTextBrowser::anchorClicked, this, &HelpViewer::FollowLink);

    UpdateHistoryActions();
}

void HelpViewer::SetTopics(std::vector<HelpTopic> topics) {
    m_topics = std::move(topics);
    m_exactKeywords.clear();
    m_foldedKeywords.clear();
    m_index.clear();
    m_contentsList->clear();
    for (const HelpTopic& topic : m_topics) {
        auto* item = new QListWidgetItem(topic.title, m_contentsList);
        item->setData(kTopicRole, topic.id);
        for (const QString& keyword : topic.keywords) {
            if (keyword.isEmpty() || m_exactKeywords.contains(keyword))
                continue;
            m_exactKeywords.insert(keyword, topic.id);
            const QString folded = keyword.toCaseFolded();
            if (!m_foldedKeywords.contains(folded))
                m_foldedKeywords.insert(folded, topic.id);
            m_index.push_back({keyword, topic.id});
        }
    }
    std::sort(m_index.begin(), m_index.end(), [](const IndexEntry& a, const IndexEntry& b) {
        return IndexOrder(a.keyword, b.keyword);
    });
    m_indexList->clear();
    for (const IndexEntry& entry : m_index) {
        auto* item = new QListWidgetItem(entry.keyword, m_indexList);
        item->setData(kTopicRole, entry.topicId);
    }

    // The history may name topics that are gone.
    m_back.clear();
    m_forward.clear();
    if (FindTopic(m_current) != nullptr)
        Display(m_current, {});
    else
        ClearDisplay();
    UpdateHistoryActions();
}

void HelpViewer::ShowContents() {
    m_tabs->setCurrentWidget(m_contentsList);
    if (m_topics.empty())
        ClearDisplay();
    else
        Navigate(m_topics.front().id, {});
    Reveal();
}

void HelpViewer::ShowSearch(const QString& text) {
    m_tabs->setCurrentWidget(m_indexPage);
    Reveal();
    // Selected once shown, so the list can scroll the entry to its top.
    m_searchField->setText(text);
    SelectInIndex(text);
    m_searchField->setFocus(Qt::OtherFocusReason);
}

bool HelpViewer::ShowKeyword(const QString& keyword) {
    const QString id = TopicForKeyword(keyword);
    if (id.isEmpty()) {
        ShowSearch(keyword);
        return false;
    }
    return ShowTopic(id);
}

bool HelpViewer::ShowTopic(const QString& id) {
    if (!Navigate(id, {}))
        return false;
    Reveal();
    return true;
}

QString HelpViewer::TopicForKeyword(const QString& keyword) const {
    if (keyword.isEmpty())
        return {};
    const auto exact = m_exactKeywords.constFind(keyword);
    if (exact != m_exactKeywords.cend())
        return *exact;
    return m_foldedKeywords.value(keyword.toCaseFolded());
}

bool HelpViewer::GoBack() {
    if (m_back.isEmpty())
        return false;
    if (!m_current.isEmpty())
        m_forward.append(m_current);
    Display(m_back.takeLast(), {});
    UpdateHistoryActions();
    return true;
}

bool HelpViewer::GoForward() {
    if (m_forward.isEmpty())
        return false;
    if (!m_current.isEmpty())
        m_back.append(m_current);
    Display(m_forward.takeLast(), {});
    UpdateHistoryActions();
    return true;
}

bool HelpViewer::eventFilter(QObject* watched, QEvent* event) {
    // As in a classic help index: the arrow keys in the search field walk the
    // list below it.
    if (watched == m_searchField && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            QCoreApplication::sendEvent(m_indexList, event);
            if (const QListWidgetItem* item = m_indexList->currentItem())
                m_searchField->setText(item->text());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

const HelpTopic* HelpViewer::FindTopic(const QString& id) const {
    if (id.isEmpty())
        return nullptr;
    const auto found = std::find_if(m_topics.begin(), m_topics.end(),
                                    [&](const HelpTopic& topic) { return topic.id == id; });
    return found == m_topics.end() ? nullptr : &*found;
}

void HelpViewer::Reveal() {
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

bool HelpViewer::Navigate(const QString& id, const QString& anchor) {
    if (FindTopic(id) == nullptr)
        return false;
    if (id != m_current) {
        if (!m_current.isEmpty())
            m_back.append(m_current);
        m_forward.clear();
    }
    Display(id, anchor);
    UpdateHistoryActions();
    return true;
}

void HelpViewer::Display(const QString& id, const QString& anchor) {
    const HelpTopic* topic = FindTopic(id);
    if (topic == nullptr) {
        ClearDisplay();
        return;
    }
    m_pane->setHtml(topic->html);
    m_current = id;
    if (!anchor.isEmpty())
        m_pane->scrollToAnchor(anchor);
    const auto row = static_cast<int>(topic - m_topics.data());
    const QSignalBlocker blocker(m_contentsList);
    m_contentsList->setCurrentRow(row);
}

void HelpViewer::ClearDisplay() {
    m_pane->clear();
    m_current.clear();
    m_contentsList->setCurrentRow(-1);
}

void HelpViewer::FollowLink(const QUrl& url) {
    if (url.scheme() == kTopicScheme) {
        Navigate(url.path(), url.fragment());
    } else if (url.scheme().isEmpty() && url.path().isEmpty() && url.hasFragment()) {
        m_pane->scrollToAnchor(url.fragment());
    } else {
        QDesktopServices::openUrl(url);
    }
}

void HelpViewer::SelectInIndex(const QString& text) {
    if (m_index.empty())
        return;
    // Sorted ignoring case, so the keywords that start with text follow one
    // another and the first of them is the first entry not below text.
    const auto found = std::lower_bound(
        m_index.begin(), m_index.end(), text, [](const IndexEntry& entry, const QString& prefix) {
            return QString::compare(entry.keyword, prefix, Qt::CaseInsensitive) < 0;
        });
    const auto row = static_cast<int>(std::min<std::ptrdiff_t>(
        found - m_index.begin(), static_cast<std::ptrdiff_t>(m_index.size()) - 1));
    m_indexList->setCurrentRow(row);
    m_indexList->scrollToItem(m_indexList->item(row), QAbstractItemView::PositionAtTop);
}

void HelpViewer::OpenIndexEntry(const QListWidgetItem* item) {
    if (item != nullptr)
        ShowTopic(item->data(kTopicRole).toString());
}

void HelpViewer::UpdateHistoryActions() {
    m_backAction->setEnabled(!m_back.isEmpty());
    m_forwardAction->setEnabled(!m_forward.isEmpty());
}

} // namespace kt::platform

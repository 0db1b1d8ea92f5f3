// The program's own help viewer: a top-level window with a contents list, a
// keyword index with a search field, and a pane that shows one topic at a time
// and follows "topic:ID" links between topics. It shows what it is given; the
// language reference itself is written elsewhere, and the viewer knows nothing
// of the editor, the instruction table or where a keyword came from.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <vector>

class QAction;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTextBrowser;
class QUrl;

namespace kt::platform {

struct HelpTopic {
    QString id;           // stable name, e.g. "counters"
    QString title;        // shown in the contents
    QString html;         // the page
    QStringList keywords; // index entries that lead here
};

class HelpViewer : public QWidget {
    Q_OBJECT

public:
    explicit HelpViewer(QWidget* parent = nullptr);

    // Replaces the topics; the topic on show stays if it is still among them.
    // A keyword listed by several topics leads to the first of them.
    void SetTopics(std::vector<HelpTopic> topics);
    const std::vector<HelpTopic>& Topics() const { return m_topics; }

    // The contents and the first topic.
    void ShowContents();
    // The index, its search field holding text and focused, the first entry
    // that starts with text selected.
    void ShowSearch(const QString& text = {});
    // The topic of an index keyword (exact, case-sensitive first, then
    // ignoring case); without one, the index searching for it. False then.
    bool ShowKeyword(const QString& keyword);
    // False, and nothing changes, for an id that names no topic.
    bool ShowTopic(const QString& id);
    // The topic a keyword leads to, empty for none.
    QString TopicForKeyword(const QString& keyword) const;
    // The topic on show, empty for none.
    QString CurrentTopicId() const { return m_current; }

    // Through the topics shown before and after; false when there is none.
    bool GoBack();
    bool GoForward();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct IndexEntry {
        QString keyword;
        QString topicId;
    };

    const HelpTopic* FindTopic(const QString& id) const;
    void Reveal();
    bool Navigate(const QString& id, const QString& anchor);
    void Display(const QString& id, const QString& anchor);
    void ClearDisplay();
    void FollowLink(const QUrl& url);
    void SelectInIndex(const QString& text);
    void OpenIndexEntry(const QListWidgetItem* item);
    void UpdateHistoryActions();

    std::vector<HelpTopic> m_topics;
    QString m_current;
    QHash<QString, QString> m_exactKeywords;  // keyword -> topic id
    QHash<QString, QString> m_foldedKeywords; // case-folded keyword -> topic id
    std::vector<IndexEntry> m_index;          // sorted ignoring case, as listed
    QStringList m_back;
    QStringList m_forward;

    QTabWidget* m_tabs = nullptr;
    QListWidget* m_contentsList = nullptr;
    QWidget* m_indexPage = nullptr;
    QLineEdit* m_searchField = nullptr;
    QListWidget* m_indexList = nullptr;
    QTextBrowser* m_pane = nullptr;
    QAction* m_backAction = nullptr;
    QAction* m_forwardAction = nullptr;
};

} // namespace kt::platform

// One cell of the editor's gutter: shows one line mark, or the error image in
// its place, in its palette's colours, as large as its square side (16, more
// when the text is zoomed), and reports clicks with its row index.
// It knows nothing of lines or marks; KtText does.
#pragma once

#include <QWidget>

namespace kt::editor {

class BreakCell : public QWidget {
    Q_OBJECT

public:
    explicit BreakCell(int index, QWidget* parent = nullptr);

    void SetSide(int side) { setFixedSize(side, side); }

    int Index() const { return m_index; }
    int ImageIndex() const { return m_image; }
    void ShowImage(int imageIndex);
    // The error image stands in for the mark's while shown; the mark stays.
    bool ShowsError() const { return m_error; }
    void ShowError(bool error);

signals:
    void clicked(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int m_index;
    int m_image = 0;
    bool m_error = false;
};

} // namespace kt::editor

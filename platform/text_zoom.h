// The text size the user chose with Ctrl+= (or Ctrl++), Ctrl+- and Ctrl+0:
// one for the whole program, remembered across starts in the settings file.
// The widgets that follow it (the editor, the Communication log, the
// Monitor's values and plot) keep their own font and take its size times
// the zoom. Not a font chooser, and not the desktop's scale factor, which
// Qt applies on its own.
#pragma once

#include <QList>
#include <QObject>

#include <array>

class QAction;
class QWidget;

namespace kt::platform {

class TextZoom : public QObject {
    Q_OBJECT

public:
    // The sizes Ctrl+= and Ctrl+- go through, in percent.
    static constexpr std::array<int, 12> kSteps = {50,  67,  80,  90,  100, 110,
                                                   125, 150, 175, 200, 250, 300};
    static constexpr int kNormal = 100;

    // The one zoom, read from the settings on first use.
    static TextZoom& Instance();

    int Percent() const { return m_percent; }
    // Taken to the nearest step; remembered.
    void SetPercent(int percent);
    void ZoomIn();
    void ZoomOut();
    void Reset() { SetPercent(kNormal); }

    // The widget's font as it is now, scaled by the zoom from now on; its
    // children with fonts of their own are left alone.
    void Follow(QWidget* widget);

    // Zoom in, out and back to normal as actions of window, whose shortcuts
    // work anywhere in it; for a menu to list as well.
    QList<QAction*> AddActions(QWidget* window);

signals:
    void changed(int percent);

private:
    TextZoom();
    int m_percent = kNormal;
};

} // namespace kt::platform

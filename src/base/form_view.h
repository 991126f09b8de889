#pragma once
#include <QRect>
#include <QString>

// What the main window shows of itself: a real window with a tray icon, or
// nothing at all in headless mode. The form's logic talks only to this.
class FormView {
public:
    virtual ~FormView() = default;
    virtual QRect Geometry() const = 0;
    virtual void SetGeometry(const QRect& rect) = 0;
    // False when there is no window at all (headless): nothing about it is
    // worth keeping.
    virtual bool HasWindow() const = 0;
    // Where a window placed at rect may be: the free area of the screen under
    // its centre (of the primary screen when none is).
    virtual QRect ScreenArea(const QRect& rect) const = 0;
    virtual bool IsShown() const = 0;
    virtual void SetShown(bool shown) = 0;
    // Leaves the minimised or maximised state so normal geometry can be stored.
    virtual void ShowNormalState() = 0;
    virtual void SetTitle(const QString& title) = 0;
    virtual void SetTrayIconShown(bool shown) = 0;
    virtual void SetStatusText(const QString& text) = 0;
    virtual QString StatusText() const = 0;
};

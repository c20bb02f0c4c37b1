#pragma once
// The window operations the screens use, over one top-level widget.

#include <QCursor>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace platform {

// Pointer shapes of a window.
enum PointerShape : int { DefaultPointer = 0, BusyPointer = 11, CustomPointer = 99 };

class Window {
public:
    virtual ~Window() = default;

    virtual void show() = 0;  // never modal; makes the window visible and active
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;

    virtual void setCaption(const QString& caption) = 0;
    virtual QString caption() const = 0;
    virtual void setIcon(const QIcon& icon) = 0;

    // Loads the picture shown for CustomPointer from a Windows .cur file.
    // Throws std::runtime_error when the file cannot be read as a cursor.
    virtual void loadMouseIcon(const QString& curFile) = 0;
    virtual void setMousePointer(int shape) = 0;
    virtual int mousePointer() const = 0;

    virtual bool isMinimized() const = 0;
    virtual void setMinimized(bool minimized) = 0;

    virtual void setEnabled(bool enabled) = 0;
};

using WindowFactory = std::function<std::unique_ptr<Window>(QWidget*)>;

class QtWindow : public Window {
public:
    explicit QtWindow(QWidget* widget);

    void show() override;
    void hide() override;
    bool isVisible() const override;
    void setCaption(const QString& caption) override;
    QString caption() const override;
    void setIcon(const QIcon& icon) override;
    void loadMouseIcon(const QString& curFile) override;
    void setMousePointer(int shape) override;
    int mousePointer() const override { return shape_; }
    bool isMinimized() const override;
    void setMinimized(bool minimized) override;
    void setEnabled(bool enabled) override;

private:
    QWidget* widget_;
    int shape_ = DefaultPointer;
    bool shown_ = false;
    std::unique_ptr<QCursor> customCursor_;
};

}  // namespace platform

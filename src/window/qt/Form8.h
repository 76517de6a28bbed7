// Form8: the tool's one window, in Qt 6 Widgets.
//
// Built in code from the layout table in window/Form8Layout.h: fixed places and sizes
// (device-independent pixels at 96 dots per inch, which Qt scales on denser screens),
// no layout manager, so resizing the window moves and stretches nothing. A plain
// top-level window, not a dialog: Enter in the address box presses no button and Esc
// does nothing.
//
// The constructor creates the window and its seven controls with their texts at
// creation; open() runs Form_Load and then shows the window, so a start-up message comes
// before the window. The buttons run their handlers and do nothing else; while a handler
// runs the mouse shows the busy cursor, which is gone again before any message box
// appears.
#pragma once

#include <QWidget>
#include <optional>
#include <string>
#include <string_view>

#include "host/SpreadsheetHost.h"
#include "window/FormView.h"
#include "window/qt/BusyCursor.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace gridmoor {

class Form8 : public QWidget, public FormView {
    Q_OBJECT

public:
    // `host` must outlive the window.
    explicit Form8(SpreadsheetHost& host);

    // Runs Form_Load (on the first call only), then shows the window with the focus on
    // the first control in tab order.
    void open();

    // --- what the handlers use of the window ---
    std::string Text1() const override;
    // Modal, OK only, no icon, the tool's title, owned by this window so that it stands
    // in front of it although the window is kept above others.
    void showMessage(std::string_view text) override;
    void setLabel1(std::string_view text) override;
    void setLabel2(std::string_view text) override;
    void setText1(std::string_view text) override;
    // The window manager's keep-above state. Throws a Failure on a Wayland session,
    // where compositors ignore the request.
    void requestTopmost() override;

private:
    void buildControls();
    void onCommand2Clicked();
    void onCommand3Clicked();
    void onCommand4Clicked();
    // Runs one click handler under the busy cursor, restored on every way out.
    template <class Handler>
    void runClick(Handler&& handler);

    SpreadsheetHost& host_;
    // Children owned by this widget.
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command4_ = nullptr;
    std::optional<BusyCursor> busy_;
    bool loaded_ = false;
};

}  // namespace gridmoor

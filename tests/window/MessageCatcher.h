// Closes every message box a test's actions open, and records what each one looked like
// and what the window around it showed at that moment.
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <vector>

namespace gridmoor::testing {

struct ShownMessage {
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool modal = false;
    QWidget* parent = nullptr;
    bool parentVisible = false;
    bool busyCursor = false;  // an override cursor was set while it showed
    // The parent window's Label1, Label2 and Text1 while it showed.
    QString label1;
    QString label2;
    QString text1;
};

class MessageCatcher : public QObject {
    Q_OBJECT

public:
    MessageCatcher();
    std::vector<ShownMessage> shown;

private:
    void poll();
    QTimer timer_;
};

}  // namespace gridmoor::testing

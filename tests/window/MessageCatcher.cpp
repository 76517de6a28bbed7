#include "MessageCatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

namespace gridmoor::testing {
namespace {

template <class W>
QString textOf(QWidget* window, const char* name) {
    if (window == nullptr) return {};
    auto* widget = window->findChild<W*>(QString::fromLatin1(name));
    return widget != nullptr ? widget->text() : QStringLiteral("<missing>");
}

}  // namespace

MessageCatcher::MessageCatcher() {
    connect(&timer_, &QTimer::timeout, this, &MessageCatcher::poll);
    timer_.start(5);
}

void MessageCatcher::poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    ShownMessage m;
    m.title = box->windowTitle();
    m.text = box->text();
    m.buttons = box->standardButtons();
    m.icon = box->icon();
    m.modal = box->isModal();
    m.parent = box->parentWidget();
    m.parentVisible = m.parent != nullptr && m.parent->isVisible();
    m.busyCursor = QGuiApplication::overrideCursor() != nullptr;
    m.label1 = textOf<QLabel>(m.parent, "Label1");
    m.label2 = textOf<QLabel>(m.parent, "Label2");
    m.text1 = textOf<QLineEdit>(m.parent, "Text1");
    shown.push_back(m);
    if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
        ok->click();
    } else {
        box->reject();
    }
}

}  // namespace gridmoor::testing

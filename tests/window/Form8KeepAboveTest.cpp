// Form8 on a real X server under a real window manager (run by run-under-xvfb.sh): the
// keep-above request made at start-up reaches the window manager and holds.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include "host/memory/MemoryHost.h"
#include "window/qt/Form8.h"

namespace gridmoor {
namespace {

// A property of an X window as xprop prints it.
QString xprop(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral("xprop"), args);
    if (!process.waitForFinished(5000) || process.exitCode() != 0) return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString windowProperty(const QWidget& window, const char* property) {
    return xprop(
        {QStringLiteral("-id"), QString::number(window.winId()), QString::fromLatin1(property)});
}

// Client windows from bottom to top, as the window manager stacks them.
QList<WId> stacking() {
    const QString out =
        xprop({QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    QList<WId> ids;
    const auto hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0) return ids;
    for (const QString& part : out.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const WId id = part.trimmed().toULongLong(&ok, 16);
        if (ok) ids << id;
    }
    return ids;
}

}  // namespace

class Form8KeepAboveTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void keepAboveIsSetOnTheShownWindow();
    void staysInFrontOfAnotherActivatedWindow();
    void clientAreaIsAtItsPlace();
    void messageStandsInFrontOfTheWindow();
};

void Form8KeepAboveTest::initTestCase() {
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    QVERIFY2(xprop({QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                 .contains(QStringLiteral("window id")),
             "a window manager runs");
}

void Form8KeepAboveTest::keepAboveIsSetOnTheShownWindow() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY2_WITH_TIMEOUT(
        windowProperty(form, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")),
        qPrintable(windowProperty(form, "_NET_WM_STATE")), 5000);
    QVERIFY(windowProperty(form, "_NET_WM_WINDOW_TYPE")
                .contains(QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL")));

    // An ordinary window under the same window manager is not kept above, so the check
    // above does tell the request apart.
    QWidget plain;
    plain.resize(200, 100);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QTest::qWait(200);
    QVERIFY(
        !windowProperty(plain, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")));
}

// Clicking into the spreadsheet application's window leaves the tool's window in front.
void Form8KeepAboveTest::staysInFrontOfAnotherActivatedWindow() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    QWidget other;
    other.setGeometry(form.geometry().adjusted(-50, -50, 50, 50));
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    other.raise();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));

    QTRY_VERIFY_WITH_TIMEOUT(
        stacking().contains(other.winId()) && stacking().contains(form.winId()), 5000);
    const QList<WId> order = stacking();
    QVERIFY2(order.indexOf(form.winId()) > order.indexOf(other.winId()),
             "Form8 is stacked above the window that was activated after it");
}

// The window manager honours the place the window asks for: the client area's top-left
// corner at (611, 333) on the screen, frame outside it.
void Form8KeepAboveTest::clientAreaIsAtItsPlace() {
    MemoryHost host;
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(200);
    QProcess process;
    process.start(QStringLiteral("xwininfo"),
                  {QStringLiteral("-id"), QString::number(form.winId())});
    QVERIFY(process.waitForFinished(5000));
    const QString info = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(info.contains(QStringLiteral("Absolute upper-left X:  611")), qPrintable(info));
    QVERIFY2(info.contains(QStringLiteral("Absolute upper-left Y:  333")), qPrintable(info));
    QVERIFY2(info.contains(QStringLiteral("Width: 429")), qPrintable(info));
    QVERIFY2(info.contains(QStringLiteral("Height: 215")), qPrintable(info));
}

// A message box belongs to the window, so the window manager keeps it in front of the
// window although the window is kept above everything else.
void Form8KeepAboveTest::messageStandsInFrontOfTheWindow() {
    MemoryHost host;
    host.addWorkbook("Book1.xlsx");
    Form8 form(host);
    form.open();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTRY_VERIFY_WITH_TIMEOUT(
        windowProperty(form, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_ABOVE")),
        5000);
    host.setRunning(false);  // the refresh will say that no workbook is open

    WId box = 0;
    QList<WId> order;
    QString transientFor;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* message = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (message == nullptr || !message->isVisible() || box != 0) return;
        box = message->winId();
        QVERIFY(QTest::qWaitForWindowExposed(message));
        QTest::qWait(300);  // let the window manager stack it
        order = stacking();
        transientFor = windowProperty(*message, "WM_TRANSIENT_FOR");
        message->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    QTest::mouseClick(form.findChild<QPushButton*>(QStringLiteral("Command2")), Qt::LeftButton);
    poll.stop();

    QVERIFY2(box != 0, "the refresh showed a message");
    QVERIFY2(transientFor.contains(QStringLiteral("0x") + QString::number(form.winId(), 16)),
             qPrintable(transientFor));
    QVERIFY(order.contains(form.winId()));
    QVERIFY2(order.indexOf(box) > order.indexOf(form.winId()), "the message is in front");
}

}  // namespace gridmoor

QTEST_MAIN(gridmoor::Form8KeepAboveTest)
#include "Form8KeepAboveTest.moc"

// The status rule, the modes and the keyboard grab of the remote view base.
#include "remoteview.h"

#include <QApplication>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>

namespace
{
class PlainView : public RemoteView
{
public:
    bool startConnecting() override { return true; }
    void setStatus(RemoteStatus s) { changeStatus(s); }
};

using Statuses = QList<int>;

Statuses announced(const QSignalSpy &spy)
{
    Statuses result;
    for (const QList<QVariant> &args : spy)
        result << args.at(0).value<RemoteView::RemoteStatus>();
    return result;
}

// Moves a fresh view to `from` by requesting each step of a path that the
// rule takes one at a time.
void reach(PlainView &view, RemoteView::RemoteStatus from)
{
    if (from == RemoteView::Disconnected)
        return;
    if (from == RemoteView::Disconnecting) {
        view.setStatus(RemoteView::Connecting);
        view.setStatus(RemoteView::Disconnecting);
        return;
    }
    view.setStatus(RemoteView::Connecting);
    for (int s = RemoteView::Authenticating; s <= from; ++s)
        view.setStatus(RemoteView::RemoteStatus(s));
}
} // namespace

class RemoteViewTest : public QObject
{
    Q_OBJECT

private slots:
    void newViewIsDisconnectedWithEverythingOff()
    {
        PlainView view;
        QCOMPARE(view.currentStatus(), RemoteView::Disconnected);
        QCOMPARE(view.portNumber(), 0);
        QVERIFY(view.hostName().isEmpty());
        QVERIFY(view.serverUrl().isEmpty());
        QCOMPARE(view.dotCursorMode(), RemoteView::CursorOff);
        QVERIFY(!view.isViewOnly() && !view.isGrabbingAllKeys() && !view.isScaling());
        QVERIFY(!view.canScale() && !view.canShowDotCursor() && !view.isShuttingDown());
        QCOMPARE(view.remoteScreenSize(), QSize(0, 0));
        QVERIFY(view.remoteScreenSize().isValid());
    }

    void enumerationsAreKnownToTheMetaObject()
    {
        const QMetaObject &mo = RemoteView::staticMetaObject;
        QCOMPARE(QString(mo.className()), QString("RemoteView"));
        const QMetaEnum status = mo.enumerator(mo.indexOfEnumerator("RemoteStatus"));
        QCOMPARE(status.keyToValue("Disconnecting"), -1);
        QCOMPARE(status.keyToValue("Disconnected"), -2);
        QCOMPARE(mo.enumerator(mo.indexOfEnumerator("ErrorCode")).keyToValue("Authentication"), 8);
        QCOMPARE(mo.enumerator(mo.indexOfEnumerator("DotCursorState")).keyToValue("CursorAuto"), 2);
    }

    void statusRule_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("requested");
        QTest::addColumn<Statuses>("expected");
        using R = RemoteView;
        QTest::newRow("new view connecting walks through Disconnecting")
            << int(R::Disconnected) << int(R::Connecting) << Statuses{R::Disconnected, R::Disconnecting, R::Connecting};
        QTest::newRow("one step up") << int(R::Connecting) << int(R::Authenticating) << Statuses{R::Authenticating};
        QTest::newRow("first update while connecting repeats Connecting")
            << int(R::Connecting) << int(R::Connected)
            << Statuses{R::Connecting, R::Authenticating, R::Preparing, R::Connected};
        QTest::newRow("first update while authenticating")
            << int(R::Authenticating) << int(R::Connected) << Statuses{R::Authenticating, R::Preparing, R::Connected};
        QTest::newRow("shutdown starts") << int(R::Connected) << int(R::Disconnecting) << Statuses{R::Disconnecting};
        QTest::newRow("shutdown ends") << int(R::Disconnecting) << int(R::Disconnected) << Statuses{R::Disconnected};
        QTest::newRow("Disconnecting on a disconnected view") << int(R::Disconnected) << int(R::Disconnecting)
                                                              << Statuses{};
        QTest::newRow("same value") << int(R::Preparing) << int(R::Preparing) << Statuses{};
        QTest::newRow("step back from Connected")
            << int(R::Connected) << int(R::Connecting)
            << Statuses{R::Disconnected, R::Disconnected, R::Disconnecting, R::Connecting};
        QTest::newRow("step back from Preparing")
            << int(R::Preparing) << int(R::Authenticating)
            << Statuses{R::Disconnected, R::Disconnected, R::Disconnecting, R::Connecting, R::Authenticating};
        QTest::newRow("Disconnected from anywhere") << int(R::Authenticating) << int(R::Disconnected)
                                                    << Statuses{R::Disconnected};
    }

    void statusRule()
    {
        QFETCH(int, from);
        QFETCH(int, requested);
        QFETCH(Statuses, expected);
        PlainView view;
        reach(view, RemoteView::RemoteStatus(from));
        QCOMPARE(int(view.currentStatus()), from);

        QSignalSpy spy(&view, &RemoteView::statusChanged);
        Statuses seenByReceivers;
        connect(&view, &RemoteView::statusChanged, &view,
                [&] { seenByReceivers << view.currentStatus(); });
        view.setStatus(RemoteView::RemoteStatus(requested));
        QCOMPARE(announced(spy), expected);
        // Each value is stored before it is announced.
        QCOMPARE(seenByReceivers, expected);
        const int final = expected.isEmpty() ? from : expected.last();
        QCOMPARE(int(view.currentStatus()), final);
    }

    void disconnectedStaysQuietAfterRefusedDisconnecting()
    {
        PlainView view;
        QSignalSpy spy(&view, &RemoteView::statusChanged);
        view.setStatus(RemoteView::Disconnecting);
        view.setStatus(RemoteView::Disconnected);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(view.currentStatus(), RemoteView::Disconnected);
    }

    void plainSettersStoreWithoutSideEffects()
    {
        PlainView view;
        QSignalSpy spy(&view, &RemoteView::statusChanged);
        view.setViewOnly(true);
        view.enableScaling(true);
        view.setDotCursorMode(RemoteView::CursorAuto);
        view.switchFullscreen(true);
        view.keyEvent(nullptr);
        view.scaleResize(10, 10);
        QVERIFY(view.isViewOnly() && view.isScaling());
        QCOMPARE(view.dotCursorMode(), RemoteView::CursorAuto);
        QVERIFY(!view.isFullScreen());
        QCOMPARE(spy.count(), 0);
    }

    void grabFollowsFocus()
    {
        PlainView view;
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);

        view.setGrabAllKeys(true);
        QVERIFY(view.isGrabbingAllKeys());
        QCOMPARE(QWidget::keyboardGrabber(), &view);

        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(&view, &out);
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);

        QFocusEvent in(QEvent::FocusIn);
        QApplication::sendEvent(&view, &in);
        QCOMPARE(QWidget::keyboardGrabber(), &view);

        view.setGrabAllKeys(false);
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        // Without grab-all-keys a focus change takes no grab.
        QApplication::sendEvent(&view, &in);
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
    }

    void releasingAGrabThatWasNeverTakenDoesNothing()
    {
        PlainView view;
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.grabKeyboard();
        view.setGrabAllKeys(false);
        QFocusEvent out(QEvent::FocusOut);
        QApplication::sendEvent(&view, &out);
        QCOMPARE(QWidget::keyboardGrabber(), &other);
        other.releaseKeyboard();
    }
};

QTEST_MAIN(RemoteViewTest)
#include "remoteview_test.moc"

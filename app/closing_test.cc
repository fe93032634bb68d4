// Closing the main window ends the process at once, whatever its workers
// are doing.
#include <QProcess>
#include <QTest>

class ClosingTest : public QObject {
  Q_OBJECT

 private slots:
  void closing_mid_run_ends_the_process() {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(QStringLiteral(TAVREL_CLOSING_HELPER), {});
    QVERIFY(helper.waitForStarted());
    QVERIFY2(helper.waitForFinished(20000), "the process outlived its window");
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
  }
};

QTEST_MAIN(ClosingTest)
#include "closing_test.moc"

#include "app/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace tavrel {
namespace {

// Runs f on a thread of its own while this (the window's) thread keeps
// processing events, and waits until it is done.
void from_worker(const std::function<void()>& f) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    f();
    done = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
  worker.join();
}

QList<QMessageBox*> open_message_boxes() {
  QList<QMessageBox*> boxes;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (box != nullptr && box->isVisible()) boxes.append(box);
  }
  return boxes;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    window_ = std::make_unique<MainWindow>([](HarvestHost&) {});
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void cleanup() { window_.reset(); }

  void window_is_fixed_centred_and_captioned() {
    QCOMPARE(window_->windowTitle(), QStringLiteral("Tavrel"));
    // The offscreen platform draws no frame, so the client takes the size.
    QCOMPARE(window_->frameGeometry().size(), QSize(618, 457));
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    const Qt::WindowFlags flags = window_->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window_->frameGeometry().topLeft(), QPoint(screen.x() + (screen.width() - 618) / 2,
                                                        screen.y() + (screen.height() - 457) / 2));
    QCOMPARE(window_->font(), QApplication::font());
    QCOMPARE(window_->palette().color(QPalette::Window),
             QApplication::palette().color(QPalette::Button));
  }

  void controls_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    const QString window;
    QTest::newRow("分组框1") << "QGroupBox" << window << QRect(8, 0, 208, 200) << "关键词";
    QTest::newRow("编辑框1") << "QPlainTextEdit"
                             << "分组框1" << QRect(8, 16, 192, 176) << "";
    QTest::newRow("分组框3") << "QGroupBox" << window << QRect(8, 208, 208, 208) << "排除";
    QTest::newRow("编辑框_不包含") << "QPlainTextEdit"
                                   << "分组框3" << QRect(8, 17, 192, 181) << "";
    QTest::newRow("分组框2") << "QGroupBox" << window << QRect(224, 1, 288, 415) << "结果";
    QTest::newRow("编辑框2") << "QPlainTextEdit"
                             << "分组框2" << QRect(8, 15, 272, 392) << "";
    QTest::newRow("按钮_开始") << "QPushButton" << window << QRect(528, 16, 80, 32) << "开始";
    QTest::newRow("按钮_暂停") << "QPushButton" << window << QRect(529, 62, 80, 32) << "暂停";
    QTest::newRow("按钮_继续") << "QPushButton" << window << QRect(529, 104, 80, 32) << "继续";
  }
  void controls() {
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    const QString name = QString::fromUtf8(QTest::currentDataTag());
    auto* control = window_->findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    QCOMPARE(control->metaObject()->className(), kind);
    QCOMPARE(control->parentWidget() == window_.get() ? QString()
                                                      : control->parentWidget()->objectName(),
             parent);
    QCOMPARE(control->geometry(), geometry);
    QVERIFY(control->isVisible());
    QVERIFY(control->isEnabled());
    QCOMPARE(control->font(), QApplication::font());
    if (auto* group = qobject_cast<QGroupBox*>(control)) QCOMPARE(group->title(), caption);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      QCOMPARE(button->text(), caption);
      QVERIFY(!button->isDefault());
      QVERIFY(!button->autoDefault());
    }
    if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
      QVERIFY(!edit->isReadOnly());
      QCOMPARE(edit->lineWrapMode(), QPlainTextEdit::WidgetWidth);
      QCOMPARE(edit->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
      QCOMPARE(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
      QCOMPARE(edit->textCursor().position(), 0);
      QCOMPARE(edit->palette().color(QPalette::Base), QColor(Qt::white));
      QCOMPARE(edit->palette().color(QPalette::Text), QColor(Qt::black));
      // No selection shows while the box lacks the focus.
      QCOMPARE(edit->palette().color(QPalette::Inactive, QPalette::Highlight),
               edit->palette().color(QPalette::Inactive, QPalette::Base));
      QVERIFY(edit->testAttribute(Qt::WA_InputMethodEnabled));
    }
  }

  void boxes_start_with_their_default_texts() {
    const Text exclusions =
        "baidu.com\r\nsogou.com\r\nso.com\r\nhaosou.com\r\nhao123.com\r\nsina.com.cn\r\n"
        "sohu.com\r\n163.com\r\nqq.com\r\n21cn.com\r\nweibo.com\r\nyouku.com\r\n"
        "tudou.com\r\niqiyi.com\r\n";
    QCOMPARE(exclusions.size(), size_t(148));
    QCOMPARE(window_->read_control_text(EditBox::exclusions), exclusions);
    QCOMPARE(window_->read_control_text(EditBox::keywords), Text());
    QCOMPARE(window_->read_control_text(EditBox::results), Text());
  }

  // Typed Chinese and Enter read back as GBK with CR LF; long lines wrap.
  void typing_reads_back_as_gbk_with_crlf() {
    auto* keywords = window_->findChild<QPlainTextEdit*>(QStringLiteral("编辑框1"));
    keywords->setFocus();
    QTest::sendKeyEvent(QTest::Click, keywords, Qt::Key_unknown, QStringLiteral("关键词"),
                        Qt::NoModifier);
    QTest::keyClick(keywords, Qt::Key_Return);
    QTest::keyClicks(keywords, QString(200, u'w'));
    QCOMPARE(window_->read_control_text(EditBox::keywords),
             Text("\xB9\xD8\xBC\xFC\xB4\xCA\r\n") + Text(200, 'w'));
    QCOMPARE(keywords->document()->blockCount(), 2);
    QVERIFY(keywords->document()->lastBlock().layout()->lineCount() > 1);
  }

  void worker_reads_and_appends_at_the_end() {
    auto* results = window_->findChild<QPlainTextEdit*>(QStringLiteral("编辑框2"));
    results->setPlainText(QString("a.example\nb.example\n").repeated(200));
    // The user has the caret near the start with a selection.
    QTextCursor user(results->document());
    user.setPosition(2);
    user.setPosition(5, QTextCursor::KeepAnchor);
    results->setTextCursor(user);
    results->verticalScrollBar()->setValue(0);

    Text before;
    from_worker([&] {
      before = window_->read_control_text(EditBox::results);
      window_->append_edit_text(EditBox::results, "c.example\r\n\xCD\xF8\xD6\xB7\r\n");
    });
    Text expected_before;
    for (int i = 0; i < 200; ++i) expected_before += "a.example\r\nb.example\r\n";
    QCOMPARE(before, expected_before);
    QVERIFY(results->toPlainText().endsWith(QStringLiteral("b.example\nc.example\n网址\n")));
    QCOMPARE(results->textCursor().position(), results->document()->characterCount() - 1);
    QVERIFY(!results->textCursor().hasSelection());
    QCOMPARE(results->verticalScrollBar()->value(), results->verticalScrollBar()->maximum());
    QVERIFY(!results->document()->isUndoAvailable());
    Text after;
    from_worker([&] { after = window_->read_control_text(EditBox::results); });
    QCOMPARE(after, before + "c.example\r\n\xCD\xF8\xD6\xB7\r\n");
  }

  // The user's edits between appends are seen by the next read, so deleted
  // lines count as absent again.
  void reads_follow_user_edits_between_appends() {
    auto* results = window_->findChild<QPlainTextEdit*>(QStringLiteral("编辑框2"));
    window_->append_edit_text(EditBox::results, "one\r\n");
    QCOMPARE(window_->read_control_text(EditBox::results), Text("one\r\n"));
    results->setFocus();
    results->selectAll();
    QTest::keyClick(results, Qt::Key_Delete);
    QCOMPARE(window_->read_control_text(EditBox::results), Text());
    window_->append_edit_text(EditBox::results, "one\r\ntwo\nthree\r");
    QCOMPARE(window_->read_control_text(EditBox::results), Text("one\r\ntwo\r\nthree\r\n"));
    QTest::keyClicks(results, "x");
    QCOMPARE(window_->read_control_text(EditBox::results), Text("one\r\ntwo\r\nthree\r\nx"));
    // The user's own typing can still be undone; the appends cannot.
    results->undo();
    QCOMPARE(window_->read_control_text(EditBox::results), Text("one\r\ntwo\r\nthree\r\n"));
    QVERIFY(!results->document()->isUndoAvailable());
  }

  // Two workers each wait on a box of their own; the window stays usable and
  // each worker goes on once its own box is dismissed.
  void message_boxes_are_non_modal_and_release_their_worker() {
    std::atomic<bool> first_done{false}, second_done{false};
    std::thread first([&] {
      window_->message_box("\xD0\xC5\xCF\xA2 1");
      first_done = true;
    });
    QTRY_COMPARE(open_message_boxes().size(), 1);
    std::thread second([&] {
      window_->message_box("second");
      second_done = true;
    });
    QTRY_COMPARE(open_message_boxes().size(), 2);

    QMessageBox* box = nullptr;
    for (QMessageBox* b : open_message_boxes())
      if (b->text() == QStringLiteral("信息 1")) box = b;
    QVERIFY(box != nullptr);
    QCOMPARE(box->windowTitle(), QStringLiteral("信息："));
    QCOMPARE(box->icon(), QMessageBox::NoIcon);
    QCOMPARE(box->buttons().size(), 1);
    QCOMPARE(box->standardButtons(), QMessageBox::Ok);
    QCOMPARE(box->windowModality(), Qt::NonModal);
    QVERIFY(!box->testAttribute(Qt::WA_QuitOnClose));
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // The main window still takes input and serves the window operations.
    auto* keywords = window_->findChild<QPlainTextEdit*>(QStringLiteral("编辑框1"));
    QTest::keyClicks(keywords, "k");
    QCOMPARE(window_->read_control_text(EditBox::keywords), Text("k"));
    QVERIFY(!first_done && !second_done);

    QPointer<QMessageBox> watched(box);
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    QTRY_VERIFY(first_done);
    QTRY_VERIFY(watched.isNull());  // deleted on close
    QVERIFY(!second_done);
    open_message_boxes().first()->close();
    QTRY_VERIFY(second_done);
    first.join();
    second.join();
  }

  // Asked on the window's own thread, the box still waits for dismissal
  // without blocking the event loop that has to show it.
  void message_box_on_the_window_thread() {
    qsizetype seen = 0;
    QTimer::singleShot(0, this, [&] {
      const QList<QMessageBox*> boxes = open_message_boxes();
      seen = boxes.size();
      for (QMessageBox* box : boxes) box->button(QMessageBox::Ok)->click();
    });
    window_->message_box("here");
    QCOMPARE(seen, qsizetype(1));
    QTRY_COMPARE(open_message_boxes().size(), 0);
  }

 private:
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tavrel

QTEST_MAIN(tavrel::MainWindowTest)
#include "main_window_test.moc"

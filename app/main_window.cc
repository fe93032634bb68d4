#include "app/main_window.h"

#include <QEvent>
#include <QEventLoop>
#include <QGroupBox>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QWindow>
#include <future>
#include <memory>
#include <string>
#include <utility>

#include "text/codepage.h"

namespace tavrel {
namespace {

// The initial text of the exclusions box: the search engine queried, other
// search engines, a web directory, portals, a micro-blog and video sites.
const char kDefaultExclusions[] =
    "baidu.com\r\n"
    "sogou.com\r\n"
    "so.com\r\n"
    "haosou.com\r\n"
    "hao123.com\r\n"
    "sina.com.cn\r\n"
    "sohu.com\r\n"
    "163.com\r\n"
    "qq.com\r\n"
    "21cn.com\r\n"
    "weibo.com\r\n"
    "youku.com\r\n"
    "tudou.com\r\n"
    "iqiyi.com\r\n";

constexpr int kOuterWidth = 618;
constexpr int kOuterHeight = 457;

QString from_gbk(std::string_view text) {
  const std::u16string units = gbk_to_u16(text);
  return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
}

// Text as the box's plain text holds it (LF line breaks) to GBK with CR LF.
Text plain_to_gbk(const QString& plain) {
  std::u16string units;
  units.reserve(size_t(plain.size()) + size_t(plain.count(u'\n')));
  for (QChar c : plain) {
    if (c == u'\n') units.push_back(u'\r');
    units.push_back(char16_t(c.unicode()));
  }
  return u16_to_gbk(units);
}

// What the box's plain text shows for a piece inserted with QTextCursor:
// CR LF, lone CR and lone LF become one line break, as do the paragraph
// and line separators; a no-break space reads back as a space.
QString inserted_as_plain(const QString& piece) {
  QString plain;
  plain.reserve(piece.size());
  for (qsizetype i = 0; i < piece.size(); ++i) {
    const QChar c = piece[i];
    if (c == u'\r') {
      if (i + 1 < piece.size() && piece[i + 1] == u'\n') ++i;
      plain += u'\n';
    } else if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
      plain += u'\n';
    } else if (c == QChar::Nbsp) {
      plain += u' ';
    } else {
      plain += c;
    }
  }
  return plain;
}

QGroupBox* add_group_box(QWidget* window, const char16_t* name, const char16_t* caption,
                         QRect geometry) {
  auto* group = new QGroupBox(QString::fromUtf16(caption), window);
  group->setObjectName(QString::fromUtf16(name));
  group->setGeometry(geometry);
  return group;
}

QPushButton* add_button(QWidget* window, const char16_t* name, const char16_t* caption,
                        QRect geometry) {
  auto* button = new QPushButton(QString::fromUtf16(caption), window);
  button->setObjectName(QString::fromUtf16(name));
  button->setGeometry(geometry);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

// Runs f on obj's thread: directly when already there, otherwise queued
// there while this thread waits.
template <typename F>
void on_thread_of(QObject* obj, F&& f) {
  if (QThread::currentThread() == obj->thread()) {
    f();
  } else {
    QMetaObject::invokeMethod(obj, std::forward<F>(f), Qt::BlockingQueuedConnection);
  }
}

}  // namespace

MainWindow::MainWindow(WorkerBody body, RunControl::ThreadLauncher launch)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      run_control_(*this, std::move(body), std::move(launch)) {
  setWindowTitle(QStringLiteral("Tavrel"));
  QPalette face = palette();
  face.setColor(QPalette::Window, face.color(QPalette::Button));
  setPalette(face);
  setAutoFillBackground(true);
  setFixedSize(kOuterWidth, kOuterHeight);

  auto* keywords_group = add_group_box(this, u"分组框1", u"关键词", {8, 0, 208, 200});
  auto* exclusions_group = add_group_box(this, u"分组框3", u"排除", {8, 208, 208, 208});
  auto* results_group = add_group_box(this, u"分组框2", u"结果", {224, 1, 288, 415});
  add_edit_box(EditBox::keywords, keywords_group, u"编辑框1", {8, 16, 192, 176});
  add_edit_box(EditBox::exclusions, exclusions_group, u"编辑框_不包含", {8, 17, 192, 181});
  add_edit_box(EditBox::results, results_group, u"编辑框2", {8, 15, 272, 392});
  box(EditBox::exclusions).edit->setPlainText(QString::fromLatin1(kDefaultExclusions));

  auto* start = add_button(this, u"按钮_开始", u"开始", {528, 16, 80, 32});
  auto* pause = add_button(this, u"按钮_暂停", u"暂停", {529, 62, 80, 32});
  auto* resume = add_button(this, u"按钮_继续", u"继续", {529, 104, 80, 32});
  connect(start, &QPushButton::clicked, this, [this] { run_control_.start(); });
  connect(pause, &QPushButton::clicked, this, [this] { run_control_.pause(); });
  connect(resume, &QPushButton::clicked, this, [this] { run_control_.resume(); });

  centre_on_screen();
}

MainWindow::~MainWindow() = default;

MainWindow::Box& MainWindow::box(EditBox which) {
  switch (which) {
    case EditBox::keywords:
      return boxes_[0];
    case EditBox::exclusions:
      return boxes_[1];
    case EditBox::results:
      break;
  }
  return boxes_[2];
}

void MainWindow::add_edit_box(EditBox which, QWidget* group, const char16_t* name, QRect geometry) {
  auto* edit = new QPlainTextEdit(group);
  edit->setObjectName(QString::fromUtf16(name));
  edit->setGeometry(geometry);
  edit->setFrameStyle(QFrame::Box | QFrame::Plain);
  edit->setLineWidth(1);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setTabChangesFocus(false);

  // Black on white; the selection disappears while the box lacks the focus.
  QPalette colours = edit->palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  colours.setColor(QPalette::Inactive, QPalette::Highlight, Qt::white);
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
  edit->setPalette(colours);

  // Any change but our own appends leaves the GBK copy behind.
  connect(edit->document(), &QTextDocument::contentsChange, this, [this, which](int, int, int) {
    if (!appending_) box(which).stale = true;
  });
  box(which).edit = edit;
}

Text MainWindow::read_control_text(EditBox which) {
  Text text;
  on_thread_of(this, [&] {
    Box& b = box(which);
    if (b.stale) {
      b.gbk = plain_to_gbk(b.edit->toPlainText());
      b.stale = false;
    }
    text = b.gbk;
  });
  return text;
}

void MainWindow::append_edit_text(EditBox which, const Text& text) {
  on_thread_of(this, [&] {
    Box& b = box(which);
    QTextDocument* doc = b.edit->document();
    QTextCursor end(doc);
    end.movePosition(QTextCursor::End);
    b.edit->setTextCursor(end);
    b.edit->ensureCursorVisible();

    const QString piece = from_gbk(text);
    const bool undo = doc->isUndoRedoEnabled();
    doc->setUndoRedoEnabled(false);
    appending_ = true;
    end.insertText(piece);
    appending_ = false;
    doc->setUndoRedoEnabled(undo);
    b.edit->setTextCursor(end);
    b.edit->ensureCursorVisible();
    if (!b.stale) b.gbk += plain_to_gbk(inserted_as_plain(piece));
  });
}

void MainWindow::message_box(const Text& text) {
  // Dismissal is seen on the window's thread: finished when a button or the
  // close box ends it, destroyed if it goes any other way.
  struct Dismissal {
    std::promise<void> promise;
    bool done = false;
    void mark() {
      if (done) return;
      done = true;
      promise.set_value();
    }
  };
  auto dismissal = std::make_shared<Dismissal>();
  std::future<void> dismissed = dismissal->promise.get_future();
  QMessageBox* shown = nullptr;

  on_thread_of(this, [&] {
    auto* message = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("信息："), from_gbk(text),
                                    QMessageBox::Ok, nullptr);
    message->setWindowModality(Qt::NonModal);
    message->setAttribute(Qt::WA_DeleteOnClose);
    message->setAttribute(Qt::WA_QuitOnClose, false);
    connect(message, &QDialog::finished, message, [dismissal] { dismissal->mark(); });
    connect(message, &QObject::destroyed, this, [dismissal] { dismissal->mark(); });
    message->show();
    shown = message;
  });

  if (QThread::currentThread() == thread()) {
    // The window's thread has to keep serving events while it waits; the
    // loop also ends when the application quits, and then nothing is left
    // to wait for.
    QEventLoop loop;
    connect(shown, &QDialog::finished, &loop, &QEventLoop::quit);
    connect(shown, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!dismissal->done) loop.exec();
    return;
  }
  dismissed.wait();
}

bool MainWindow::event(QEvent* e) {
  const bool handled = QWidget::event(e);
  if (e->type() == QEvent::Show || e->type() == QEvent::Move) fit_outer_size();
  return handled;
}

// The outer size includes the frame, which is known only once the window
// system has framed the window; until then (or without any frame) the client
// area takes the whole size.
void MainWindow::fit_outer_size() {
  if (frame_fitted_ || windowHandle() == nullptr) return;
  const QMargins frame = windowHandle()->frameMargins();
  if (frame.isNull()) return;
  frame_fitted_ = true;
  setFixedSize(kOuterWidth - frame.left() - frame.right(),
               kOuterHeight - frame.top() - frame.bottom());
  centre_on_screen();
}

void MainWindow::centre_on_screen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect full = screen->geometry();
  move(full.x() + (full.width() - kOuterWidth) / 2, full.y() + (full.height() - kOuterHeight) / 2);
}

}  // namespace tavrel

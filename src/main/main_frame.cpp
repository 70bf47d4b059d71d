#include "main/main_frame.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStringList>

#include <pulse/version.h>
#include <sndfile.h>

#include "main/form_main.h"
#include "main/services.h"
#include "main/trace_window.h"
#include "main/ui_text.h"

namespace tonamira {

namespace {
constexpr const char* kRecentKey = "files/recent";
}  // namespace

MainFrame::MainFrame(Services& services, AudioDevices& audio, QSettings& settings)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      services_(services),
      settings_(settings),
      language_(settings) {
  form_ = new FormMain(services, audio, nullptr, {}, this);
  setCentralWidget(form_);
  trace_ = std::make_unique<TraceWindow>(*form_, services, settings);
  form_->SetInputTap(&trace_->Feed());
  form_->OnFileOpened = [this](const std::string& file) { Remember(file); };

  file_ = menuBar()->addMenu(QString());
  open_ = file_->addAction(QString());
  open_->setShortcut(QKeySequence::Open);
  QObject::connect(open_, &QAction::triggered, this, [this] { form_->OpenClick(); });
  save_ = file_->addAction(QString());
  save_->setShortcut(QKeySequence::Save);
  QObject::connect(save_, &QAction::triggered, this, [this] { form_->SaveClick(); });
  file_->addSeparator();
  recent_ = file_->addMenu(QString());
  file_->addSeparator();
  quit_ = file_->addAction(QString());
  quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  QObject::connect(quit_, &QAction::triggered, this, [this] { close(); });

  view_ = menuBar()->addMenu(QString());
  traceAction_ = view_->addAction(QString());
  traceAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  QObject::connect(traceAction_, &QAction::triggered, this, [this] {
    trace_->show();
    trace_->raise();
    trace_->activateWindow();
  });
  // Each language is named in itself, whichever is shown.
  view_->addSeparator();
  auto* languages = new QActionGroup(this);
  english_ = view_->addAction(QStringLiteral("English"));
  japanese_ = view_->addAction(QString::fromUtf8("日本語"));
  for (QAction* a : {english_, japanese_}) {
    a->setCheckable(true);
    languages->addAction(a);
  }
  (language_.Current() == Language::English ? english_ : japanese_)->setChecked(true);
  QObject::connect(english_, &QAction::triggered, this,
                   [this] { ChooseLanguage(Language::English); });
  QObject::connect(japanese_, &QAction::triggered, this,
                   [this] { ChooseLanguage(Language::Japanese); });

  help_ = menuBar()->addMenu(QString());
  about_ = help_->addAction(QString());
  QObject::connect(about_, &QAction::triggered, this, [this] {
    services_.MessageBox(AboutText(), tr("バージョン情報").toStdString());
  });
  KeepTranslated(this, "texts", [this] { TranslateTexts(); });
  RebuildRecentMenu();

  // The client area keeps its 800 x 600; the menu bar comes on top of it, and the frame is as
  // large as the two.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
}

MainFrame::~MainFrame() {
  // The devices go first: the trace's tap must outlive every device that feeds it.
  form_->FormClose();
  form_->SetInputTap(nullptr);
}

void MainFrame::closeEvent(QCloseEvent* event) {
  form_->FormClose();
  trace_->close();
  event->accept();
}

void MainFrame::TranslateTexts() {
  setWindowTitle(FormMain::tr(kWindowCaption));
  file_->setTitle(tr("ファイル(&F)"));
  open_->setText(tr("開く(&O)…"));
  save_->setText(tr("保存(&S)…"));
  recent_->setTitle(tr("最近開いたファイル(&R)"));
  quit_->setText(tr("終了(&X)"));
  view_->setTitle(tr("表示(&V)"));
  traceAction_->setText(tr("ピッチ曲線(&T)"));
  help_->setTitle(tr("ヘルプ(&H)"));
  about_->setText(tr("バージョン情報(&A)"));
}

void MainFrame::ChooseLanguage(Language language) {
  language_.Choose(language);
  // The menu shows the language in use, also when English could not be loaded.
  (language_.Current() == Language::English ? english_ : japanese_)->setChecked(true);
}

void MainFrame::Remember(const std::string& file) {
  const QString path = QFileInfo(QString::fromStdString(file)).absoluteFilePath();
  QStringList files = settings_.value(kRecentKey).toStringList();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFiles) files.removeLast();
  settings_.setValue(kRecentKey, files);
  settings_.sync();
  RebuildRecentMenu();
}

void MainFrame::RebuildRecentMenu() {
  recent_->clear();
  const QStringList files = settings_.value(kRecentKey).toStringList();
  int n = 0;
  for (const QString& path : files) {
    QAction* a = recent_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(QFileInfo(path).fileName()));
    a->setToolTip(path);
    a->setData(path);
    QObject::connect(a, &QAction::triggered, this, [this, path] { form_->OpenFile(path.toStdString()); });
  }
  recent_->setEnabled(!files.isEmpty());
}

std::string MainFrame::AboutText() {
  const QString text = tr("トナミラ ver%1\n"
                          "歌や楽器の音の高さを見る分析と、二十の倍音からの試験音づくりのためのプログラムです。\n\n"
                          "ライセンス: GNU General Public License version 3 or later\n\n"
                          "使っているライブラリ:\n"
                          "  Qt %2 (LGPL 3)\n"
                          "  libpulse %3 (LGPL 2.1)\n"
                          "  libsndfile %4 (LGPL 2.1)")
                           .arg(QString::fromUtf8(kWindowCaption).section(QStringLiteral("ver"), 1))
                           .arg(QString::fromLatin1(qVersion()))
                           .arg(QString::fromLatin1(pa_get_library_version()))
                           .arg(QString::fromLatin1(sf_version_string()).section('-', 1));
  return text.toStdString();
}

}  // namespace tonamira

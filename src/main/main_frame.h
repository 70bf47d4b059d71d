#pragma once
// The program's frame around the main window: the menu bar above its 800 x 600 client area,
// where the less frequent commands live, and the pitch trace beside it. The client area is
// the main window itself, with every control, pixel and message as it has them; the frame is
// as fixed in size as the main window.
//
//   ファイル  開く (Ctrl+O), 保存 (Ctrl+S): what "開く" and "保存" do; the last files opened;
//            終了 (Ctrl+Q)
//   表示      ピッチ曲線 (Ctrl+T): the trace window; English / 日本語: the language of every
//            caption, message, tooltip and menu, switched at once and remembered
//   ヘルプ    バージョン情報: the program, its version, licence and libraries

#include <QCoreApplication>
#include <QMainWindow>

#include <memory>
#include <string>

#include "main/language.h"

class QAction;
class QMenu;
class QSettings;

namespace tonamira {

class AudioDevices;
class FormMain;
class Services;
class TraceWindow;

class MainFrame final : public QMainWindow {
  Q_DECLARE_TR_FUNCTIONS(MainFrame)

 public:
  static constexpr int kRecentFiles = 5;

  MainFrame(Services& services, AudioDevices& audio, QSettings& settings);
  ~MainFrame() override;

  FormMain& Form() { return *form_; }
  TraceWindow& Trace() { return *trace_; }

  QAction* OpenAction() const { return open_; }
  QAction* SaveAction() const { return save_; }
  QAction* QuitAction() const { return quit_; }
  QAction* TraceAction() const { return traceAction_; }
  QAction* AboutAction() const { return about_; }
  QMenu* RecentMenu() const { return recent_; }
  QAction* EnglishAction() const { return english_; }
  QAction* JapaneseAction() const { return japanese_; }

  // The language of the program's face, as the menu sets it.
  Language CurrentLanguage() const { return language_.Current(); }
  void ChooseLanguage(Language language);

  // The text of the version box.
  static std::string AboutText();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Remember(const std::string& file);
  void RebuildRecentMenu();
  // The caption and the menus in the user's language (again after each change of it).
  void TranslateTexts();

  Services& services_;
  QSettings& settings_;
  UiLanguage language_;        // before the windows, so that they are made in it
  FormMain* form_ = nullptr;   // the central widget, owned by the frame
  std::unique_ptr<TraceWindow> trace_;
  QAction* open_ = nullptr;
  QAction* save_ = nullptr;
  QAction* quit_ = nullptr;
  QAction* traceAction_ = nullptr;
  QAction* about_ = nullptr;
  QAction* english_ = nullptr;
  QAction* japanese_ = nullptr;
  QMenu* file_ = nullptr;
  QMenu* view_ = nullptr;
  QMenu* help_ = nullptr;
  QMenu* recent_ = nullptr;
};

}  // namespace tonamira

#pragma once
// The program's frame around the main window: the menu bar above its 800 x 600 client area,
// where the less frequent commands live, and the pitch trace beside it. The client area is
// the main window itself, with every control, pixel and message as it has them; the frame is
// as fixed in size as the main window.
//
//   ファイル  開く (Ctrl+O), 保存 (Ctrl+S): what "開く" and "保存" do; the last files opened;
//            終了 (Ctrl+Q)
//   表示      ピッチ曲線 (Ctrl+T): the trace window
//   ヘルプ    バージョン情報: the program, its version, licence and libraries

#include <QMainWindow>

#include <memory>
#include <string>

class QAction;
class QMenu;
class QSettings;

namespace tonamira {

class AudioDevices;
class FormMain;
class Services;
class TraceWindow;

class MainFrame final : public QMainWindow {
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

  // The text of the version box.
  static std::string AboutText();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Remember(const std::string& file);
  void RebuildRecentMenu();

  Services& services_;
  QSettings& settings_;
  FormMain* form_ = nullptr;   // the central widget, owned by the frame
  std::unique_ptr<TraceWindow> trace_;
  QAction* open_ = nullptr;
  QAction* save_ = nullptr;
  QAction* quit_ = nullptr;
  QAction* traceAction_ = nullptr;
  QAction* about_ = nullptr;
  QMenu* recent_ = nullptr;
};

}  // namespace tonamira

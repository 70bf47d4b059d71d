#include "main/services.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QStyleFactory>

#include <algorithm>
#include <cmath>

namespace tonamira {

void ApplyApplicationSettings() {
  QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
  // The classic style: grey button faces, and track bars without a filled groove, so a
  // harmonic bar at the bottom does not look like a full level.
  if (QStyle* style = QStyleFactory::create("Windows")) QApplication::setStyle(style);
}

std::string QtFilterFromPairs(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(u';', u' ');
    out << parts[i] + " (" + patterns + ")";
  }
  return out.join(";;").toStdString();
}

void QtServices::MessageBox(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, owner_);
  box.exec();
}

void QtServices::ShowMessage(const std::string& text) {
  MessageBox(text, QCoreApplication::translate("QtServices", kApplicationTitle).toStdString());
}

ConfirmAnswer QtServices::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QCoreApplication::translate("QtServices", "確認"),
                  QString::fromStdString(text), QMessageBox::NoButton, owner_);
  QPushButton* yes =
      box.addButton(QCoreApplication::translate("QtServices", "はい(&Y)"), QMessageBox::YesRole);
  QPushButton* no =
      box.addButton(QCoreApplication::translate("QtServices", "いいえ(&N)"), QMessageBox::NoRole);
  QPushButton* cancel = box.addButton(QCoreApplication::translate("QtServices", "キャンセル"),
                                      QMessageBox::RejectRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == yes) return ConfirmAnswer::Yes;
  if (box.clickedButton() == no) return ConfirmAnswer::No;
  return ConfirmAnswer::Cancel;
}

namespace {
constexpr const char* kLastFolderKey = "dialogs/lastFolder";
}  // namespace

QString FolderMemory::StartFolder() const {
  const QString folder = settings_.value(kLastFolderKey).toString();
  return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void FolderMemory::Remember(const QString& chosenFile) {
  settings_.setValue(kLastFolderKey, QFileInfo(chosenFile).absolutePath());
  settings_.sync();
}

QtServices::QtServices(QWidget* owner)
    : owner_(owner),
      settings_(std::make_unique<QSettings>("tonamira", "tonamira")),
      folders_(*settings_) {}

QtServices::~QtServices() = default;

std::optional<std::string> QtServices::OpenFileName(const std::string& filter) {
  const QString path =
      QFileDialog::getOpenFileName(owner_, QString(), folders_.StartFolder(),
                                   QString::fromStdString(QtFilterFromPairs(filter)));
  if (path.isEmpty()) return std::nullopt;
  folders_.Remember(path);
  return path.toStdString();
}

std::optional<std::string> QtServices::SaveFileName(const std::string& filter) {
  // The window asks its own overwrite question (it also looks for name.wav and name.WAV),
  // so the dialog does not ask a second time.
  const QString path = QFileDialog::getSaveFileName(
      owner_, QString(), folders_.StartFolder(),
      QString::fromStdString(QtFilterFromPairs(filter)), nullptr,
      QFileDialog::DontConfirmOverwrite);
  if (path.isEmpty()) return std::nullopt;
  folders_.Remember(path);
  return path.toStdString();
}

bool QtServices::StartProgram(const std::string& commandLine) {
  QStringList args = QProcess::splitCommand(QString::fromStdString(commandLine));
  if (args.isEmpty()) return false;
  const QString program = args.takeFirst();
  return QProcess::startDetached(program, args);
}

namespace {

class QtProgress final : public Progress {
 public:
  // Between two turns of the event loop while the dialog is shown: often enough for the bar
  // and the cancel button to answer at once, rarely enough to cost the task nothing.
  static constexpr int64_t kEventsEveryMs = 50;

  QtProgress(QWidget* owner, const std::string& text, std::function<int64_t()> elapsedMs)
      : owner_(owner), text_(QString::fromStdString(text)), elapsedMs_(std::move(elapsedMs)) {}

  bool Update(double fraction) override {
    if (cancelled_) return false;
    const int64_t now = elapsedMs_();
    if (!dialog_) {
      if (now <= kProgressAfterMs) return true;
      dialog_ = std::make_unique<QProgressDialog>(
          text_, QCoreApplication::translate("QtServices", "キャンセル"), 0, 1000, owner_);
      dialog_->setWindowTitle(QCoreApplication::translate("QtServices", kApplicationTitle));
      dialog_->setWindowModality(Qt::ApplicationModal);
      dialog_->setAutoClose(false);
      dialog_->setAutoReset(false);
      dialog_->setMinimumDuration(0);
      dialog_->show();
    } else if (now - lastEvents_ < kEventsEveryMs) {
      return true;
    }
    lastEvents_ = now;
    dialog_->setValue(static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 1000.0)));
    QCoreApplication::processEvents();
    cancelled_ = dialog_->wasCanceled();
    return !cancelled_;
  }

 private:
  QWidget* owner_;
  QString text_;
  std::function<int64_t()> elapsedMs_;
  std::unique_ptr<QProgressDialog> dialog_;
  int64_t lastEvents_ = 0;
  bool cancelled_ = false;
};

}  // namespace

std::unique_ptr<Progress> MakeQtProgress(QWidget* owner, const std::string& text,
                                         std::function<int64_t()> elapsedMs) {
  return std::make_unique<QtProgress>(owner, text, std::move(elapsedMs));
}

std::unique_ptr<Progress> QtServices::StartProgress(const std::string& text) {
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  return MakeQtProgress(owner_, text, [clock] { return clock->elapsed(); });
}

}  // namespace tonamira

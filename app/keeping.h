// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping a picture: the save dialog's choice, and saving off the window's
// thread (rendering again when the save is larger or smoothed), with the
// progress the window shows and a cancel it can ask for.

#include <QDialog>
#include <QImage>
#include <QSize>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "catalogue.h"
#include "parameters.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressDialog;

namespace plorvex {
class ColumnPool;
}

namespace plorvex::app {

// What the save dialog asks: where, the size (a scale of the window's
// picture, 1 to 16 times its pixels across, or a width typed in pixels, the
// height following the picture's shape) and whether to smooth edges (4 x 4
// samples a pixel). The picture offered comes along for the sizes: its plain
// size and the density the window paints it at.
struct SaveChoice {
  QString path;
  int scale = 1;
  bool smooth = false;
  QSize plainSize{};
  int density = 1;
  std::optional<QString> width{};  // as typed; nothing when the size is a scale
};

inline constexpr int kSmoothEdges = 4;

// The scales the save dialog lists.
inline constexpr int kSaveScales[] = {1, 2, 4, 8, 16};

// The density a save renders at: the window's own times the scale, or the
// typed width over the plain picture's. 0, with what is wrong in `problem`,
// when the width typed is no whole number of times the plain picture's, a
// side would pass 1,000,000 pixels (what libpng reads), or the name's format
// cannot hold the size (only PNG is written in bands, at any size).
int chosenDensity(const SaveChoice& choice, QString& problem);

// "x16 - 16384 x 12288": a scale the save dialog lists and the pixels a save
// at it has, with "(PNG only)" beyond what the other formats hold.
QString saveSizeLabel(const SaveChoice& offered, int scale);

// "x2 - 2048 x 1536": a scale of a movie's frames and their pixels, at most
// at the largest density a whole picture is painted at.
QString scaleLabel(const SaveChoice& offered, int scale);

// The name as it will be written: relative names lie in `folder`, and a name
// without a suffix gets ".png".
QString resolvedSavePath(const QString& typed, const QString& folder);

// Why a picture cannot be saved under this name's suffix ("" when it can):
// the suffix picks the format, and one this program does not write is refused.
QString saveFormatProblem(const QString& path);

// "x2 - 2048 x 1536": a scale and the pixels a save at it has.
QString scaleLabel(const SaveChoice& offered, int scale);

// What Ctrl+C puts on the clipboard: the image, and the same as PNG bytes
// that keep the view (image/png), so that a paste into a file opens again as
// that view. The caller owns the result.
QMimeData* pictureMimeData(const QImage& picture, const picture::PictureParameters& parameters);

class SaveDialog : public QDialog {
  Q_OBJECT
 public:
  SaveDialog(QWidget* parent, const SaveChoice& proposed, const QString& folder);
  SaveChoice choice() const;

 private:
  void browse();
  void accept() override;

  bool widthTyped() const;
  void showSize();

  QString folder_;
  SaveChoice offered_;
  QLineEdit* name_ = nullptr;
  QComboBox* scale_ = nullptr;
  QLineEdit* width_ = nullptr;
  QLabel* sizeNote_ = nullptr;
  QCheckBox* smooth_ = nullptr;
};

// Work on a thread of its own: a save, a movie. Everything the window reads
// of it while it runs is atomic; the result is read once it has finished.
class BackgroundJob {
 public:
  enum class Phase { Idle, Rendering, Writing, Finished };

  BackgroundJob() = default;
  virtual ~BackgroundJob() { stop(); }
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  Phase phase() const { return phase_; }
  bool busy() const { return phase_ != Phase::Idle; }
  // Work done of all (columns, say), while rendering.
  std::size_t done() const { return done_; }
  std::size_t total() const { return total_; }
  void cancel() { cancelled_ = true; }
  // What the progress says of the job: its label, and while rendering the
  // time taken and the time left (then "writing the file").
  QString progressText() const;
  // Once finished: joins the thread and gives the reason it failed ("" when
  // it succeeded, picture::kWriteCancelled when cancelled).
  std::string finish();

 protected:
  // Runs `work` on the thread, beginning in `first`; what it returns is what
  // finish() gives. `label` names the job in its progress ("Saving x.png…").
  void launch(Phase first, QString label, std::function<std::string()> work);
  void enter(Phase phase) { phase_ = phase; }
  void progress(std::size_t done, std::size_t total) {
    total_ = total;
    done_ = done;
  }
  bool cancelled() const { return cancelled_; }
  // Cancels and joins; a derived job calls it first in its destructor, so that
  // the work never outlives what it uses.
  void stop();

 private:
  QString label_;
  std::chrono::steady_clock::time_point started_;
  std::thread thread_;
  std::atomic<Phase> phase_{Phase::Idle};
  std::atomic<std::size_t> done_{0};
  std::atomic<std::size_t> total_{0};
  std::atomic<bool> cancelled_{false};
  std::string failure_;  // written by the thread before it sets Finished
};

// One save at a time.
class PictureSaveJob : public BackgroundJob {
 public:
  struct Request {
    QString path;
    picture::ImageFormat format = picture::ImageFormat::Png;
    picture::PictureParameters parameters;
    QImage image;                        // written as it is, or, when null,
    const PatternEntry* pattern = nullptr;  // rendered again from the parameters:
    ColumnPool* pool = nullptr;             // a PNG in bands, any other format whole
  };

  ~PictureSaveJob() override { stop(); }
  void start(Request request);

 private:
  std::string run(Request& request);
  std::optional<std::string> writePoster(const Request& request);
  std::string render(Request& request);
};

// Follows a job for the window: a progress dialog that leaves the window
// usable and, where the window manager allows, the keyboard with it (the
// `keys` work in it as well), whose Cancel cancels the job; once the job has
// finished, the dialog closes and `finished` gets the reason it failed ("" when
// it succeeded, picture::kWriteCancelled when cancelled).
class JobFollower : public QObject {
 public:
  JobFollower(QWidget& parent, BackgroundJob& job, QString title,
              std::function<void(const std::string& failure)> finished);
  // The job has just been launched.
  void follow(const QList<QAction*>& keys);

 private:
  void update();

  QWidget& parent_;
  BackgroundJob& job_;
  QString title_;
  std::function<void(const std::string&)> finished_;
  QTimer timer_;
  QPointer<QProgressDialog> progress_;
};

}  // namespace plorvex::app

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Movies from the window: "Make a movie…" renders the way that led to the
// view shown (its Back history, or pictures the user picks) as a zoom movie,
// off the window's thread with a progress dialog that can cancel it; "Save
// the way here…" writes that way as a path file for the command line.

#include <QDialog>
#include <QSize>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "keeping.h"
#include "movie_path.h"
#include "view_history.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressDialog;

namespace plorvex::app {

// What the movie dialog asks. A name ending in .mp4, .webm or .mkv is a video
// file (ffmpeg joins the frames, rendered into a hidden folder beside it);
// any other name is a folder for the frames themselves.
struct MovieChoice {
  QString output;
  double seconds = 10;
  double fps = 30;
  int scale = 1;  // the picture's pixels across: 1, 2 or 4
  bool smooth = false;
  // The movie's frames at x1, for the sizes the dialog lists: their plain
  // size and the density the window paints at.
  QSize plainSize{};
  int density = 1;
};

class MovieDialog : public QDialog {
  Q_OBJECT
 public:
  MovieDialog(QWidget* parent, const MovieChoice& proposed, const QString& note);
  MovieChoice choice() const;

 private:
  void browse(bool folder);
  void countFrames();

  QDoubleSpinBox* seconds_ = nullptr;
  QDoubleSpinBox* fps_ = nullptr;
  QComboBox* scale_ = nullptr;
  QCheckBox* smooth_ = nullptr;
  QLineEdit* output_ = nullptr;
  QLabel* frames_ = nullptr;
  MovieChoice offered_;
};

// The longest run at the end of the views that shares the last one's pattern
// and size text: the keyframes a movie can join.
std::span<const HistoryView> wayHere(std::span<const HistoryView> views);

// How many keyframes at the end every step of a path can join (a step from
// one view to the next can lie beyond double precision).
std::size_t makeableTail(const std::vector<movie::Keyframe>& keyframes);

// One movie at a time, rendered and, for a video, encoded on a thread of its own.
class MovieJob : public BackgroundJob {
 public:
  struct Request {
    movie::MoviePath path;
    std::size_t frames = 0;
    Sampling sampling;
    QString output;       // a video file or a folder
    std::string fpsText;  // for ffmpeg
  };
  ~MovieJob() override { stop(); }
  void start(Request request);

 private:
  std::string run(const Request& request);
  std::string renderFrames(const Request& request, const QString& folder);
};

class MovieMaker : public QObject {
  Q_OBJECT
 public:
  // What the movie maker asks the user; tests replace these. Each may return
  // before the user has answered and calls back only on an answer.
  struct Asks {
    std::function<void(QWidget* parent, const MovieChoice& proposed, const QString& note,
                       std::function<void(const MovieChoice&)> chosen)>
        chooseMovie;
    std::function<void(QWidget* parent, const QString& proposed, const QString& note,
                       std::function<void(const QString&)> chosen)>
        chooseWayFile;
    std::function<void(QWidget* parent, const QString& folder, std::function<void(const QStringList&)> chosen)>
        choosePictures;
    // Says where a finished movie is.
    std::function<void(QWidget* parent, const QString& output)> showMade;
  };
  using Tell = std::function<void(const QString& title, const QString& text)>;

  // `density` gives the canvas density the window paints at.
  MovieMaker(QWidget& window, const ViewHistory& history, Tell tell, std::function<int()> density);

  void addMenuEntries(QMenu& menu);
  void makeMovie();
  void saveWayHere();
  const MovieJob& job() const { return job_; }
  Asks asks;

 private:
  // The way here's views as keyframes, with a note when older views were left out.
  std::vector<movie::Keyframe> keyframesHere(QString& note) const;
  void askForMovie(std::vector<movie::Keyframe> keyframes, const QString& note);
  void start(const movie::MoviePath& path, const MovieChoice& choice);
  void finished(const std::string& failure);
  QString made_;  // the movie being made

  QWidget& window_;
  const ViewHistory& history_;
  Tell tell_;
  std::function<int()> density_;
  QString folder_;
  MovieChoice last_;
  // The job is declared last: it is cancelled and joined first.
  JobFollower follower_;
  MovieJob job_;
};

}  // namespace plorvex::app

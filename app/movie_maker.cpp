// SPDX-License-Identifier: GPL-3.0-or-later
#include "movie_maker.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QDesktopServices>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>
#include <optional>
#include <thread>

#include "catalogue.h"
#include "column_pool.h"
#include "movie_frames.h"
#include "path_file.h"
#include "picture.h"
#include "video.h"

namespace plorvex::app {
namespace {

const char* const kMovieTitle = "Make a movie";
const char* const kWayTitle = "Save the way here";

}  // namespace

// --- The dialog ------------------------------------------------------------------------

MovieDialog::MovieDialog(QWidget* parent, const MovieChoice& proposed, const QString& note)
    : QDialog(parent), offered_(proposed) {
  setWindowTitle(kMovieTitle);
  const auto spin = [this](double value, double most, int decimals) {
    auto* box = new QDoubleSpinBox(this);
    box->setRange(0.1, most);
    box->setDecimals(decimals);
    box->setValue(value);
    return box;
  };
  seconds_ = spin(proposed.seconds, 3600, 1);
  fps_ = spin(proposed.fps, 120, 2);
  scale_ = new QComboBox(this);
  const SaveChoice frame{{}, 1, false, proposed.plainSize, proposed.density};
  for (int scale : {1, 2, 4}) scale_->addItem(scaleLabel(frame, scale), scale);
  scale_->setCurrentIndex(std::max(0, scale_->findData(proposed.scale)));
  smooth_ = new QCheckBox("smooth edges", this);
  smooth_->setChecked(proposed.smooth);
  output_ = new QLineEdit(proposed.output, this);
  output_->setMinimumWidth(420);
  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(output_);
  for (const bool folder : {false, true}) {
    auto* button = new QPushButton(folder ? "Folder…" : "Video…", this);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, folder] { browse(folder); });
    outputRow->addWidget(button);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Make");
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (!output_->text().trimmed().isEmpty()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &MovieDialog::reject);
  frames_ = new QLabel(this);
  connect(seconds_, &QDoubleSpinBox::valueChanged, this, &MovieDialog::countFrames);
  connect(fps_, &QDoubleSpinBox::valueChanged, this, &MovieDialog::countFrames);
  countFrames();
  auto* form = new QFormLayout(this);
  if (!note.isEmpty()) {
    auto* explanation = new QLabel(note, this);
    explanation->setWordWrap(true);
    form->addRow(explanation);
  }
  form->addRow("Seconds:", seconds_);
  form->addRow("Frames a second:", fps_);
  form->addRow("", frames_);
  form->addRow("Size:", scale_);
  form->addRow("", smooth_);
  form->addRow("Movie:", outputRow);
  form->addRow("", new QLabel("A name ending in .mp4, .webm or .mkv is a video (made by ffmpeg);\n"
                              "any other name is a folder for the frames, one picture each.",
                              this));
  form->addRow(buttons);
}

MovieChoice MovieDialog::choice() const {
  MovieChoice chosen = offered_;
  chosen.output = QDir::cleanPath(output_->text().trimmed());
  chosen.seconds = seconds_->value();
  chosen.fps = fps_->value();
  chosen.scale = scale_->currentData().toInt();
  chosen.smooth = smooth_->isChecked();
  return chosen;
}

void MovieDialog::countFrames() {
  const std::optional<std::size_t> frames = movie::frameCount(seconds_->value(), fps_->value());
  frames_->setText(frames ? QString("%1 frames").arg(*frames) : QString("too many frames"));
}

void MovieDialog::browse(bool folder) {
  const QString chosen =
      folder ? QFileDialog::getExistingDirectory(this, "Folder for the frames", output_->text())
             : QFileDialog::getSaveFileName(this, "Movie", output_->text(),
                                            "Videos (*.mp4 *.webm *.mkv);;MP4 (*.mp4);;WebM (*.webm);;Matroska (*.mkv)");
  if (!chosen.isEmpty()) output_->setText(chosen);
}

// --- The way here ----------------------------------------------------------------------

std::span<const HistoryView> wayHere(std::span<const HistoryView> views) {
  if (views.empty()) return views;
  const HistoryView& last = views.back();
  std::size_t first = views.size() - 1;
  while (first > 0 && views[first - 1].pattern == last.pattern && views[first - 1].texts.size == last.texts.size)
    --first;
  return views.subspan(first);
}

std::size_t makeableTail(const std::vector<movie::Keyframe>& keyframes) {
  if (keyframes.empty()) return 0;
  std::size_t first = keyframes.size() - 1;
  std::string error;
  while (first > 0 && movie::MoviePath::make({keyframes[first - 1], keyframes[first]}, error)) --first;
  return keyframes.size() - first;
}

// --- The job ---------------------------------------------------------------------------

void MovieJob::start(Request request) {
  const QString label = QString("Making %1…").arg(QDir::toNativeSeparators(request.output));
  launch(Phase::Rendering, label, [this, request = std::move(request)] { return run(request); });
}

std::string MovieJob::renderFrames(const Request& request, const QString& folder) {
  const unsigned cores = std::thread::hardware_concurrency();
  std::optional<ColumnPool> workers;
  ColumnPool* pool = cores > 1 ? &workers.emplace(cores) : nullptr;
  movie::FrameRun run(request.path, request.frames, movie::FrameNames::forMovie(folder, request.frames),
                      request.sampling, pool);
  run.onColumn = [&](std::size_t index, std::size_t count, std::size_t done, std::size_t total) {
    progress(index * total + done, count * total);
    if (cancelled()) run.cancel();
  };
  movie::FrameTally tally;
  const std::string stop = run.render(0, request.frames - 1, tally);
  if (stop == movie::kFramesCancelled || cancelled()) return picture::kWriteCancelled;
  if (!stop.empty()) return stop;
  if (tally.faulted > 0) return std::to_string(tally.faulted) + " frames stopped at an arithmetic error";
  return {};
}

std::string MovieJob::run(const Request& request) {
  const std::string output = QFile::encodeName(request.output).toStdString();
  if (!movie::isVideoFile(output)) {
    if (!QDir().mkpath(request.output)) return "cannot make the folder '" + output + "'";
    return renderFrames(request, request.output);
  }
  // The frames of a video are rendered beside it and go with the job.
  QTemporaryDir scratch(QFileInfo(request.output).absolutePath() + "/.plorvex-frames-XXXXXX");
  if (!scratch.isValid()) return "cannot make a folder for the frames beside '" + output + "'";
  if (std::string failure = renderFrames(request, scratch.path()); !failure.empty()) return failure;
  enter(Phase::Writing);
  const movie::FrameNames names = movie::FrameNames::forMovie(scratch.path(), request.frames);
  const movie::VideoJob video{output,
                              names.ffmpegPattern(),
                              request.frames,
                              request.fpsText,
                              static_cast<int>(request.path.columns()) * request.sampling.density,
                              static_cast<int>(request.path.rows()) * request.sampling.density,
                              [this] { return !cancelled(); }};
  std::string note;
  const std::string failure = movie::encodeVideo(video, note);
  return failure == movie::kVideoCancelled ? picture::kWriteCancelled : failure;
}

// --- The menu entries ------------------------------------------------------------------

MovieMaker::MovieMaker(QWidget& window, const ViewHistory& history, Tell tell, std::function<int()> density)
    : QObject(&window),
      window_(window),
      history_(history),
      tell_(std::move(tell)),
      density_(std::move(density)),
      follower_(window, job_, kMovieTitle, [this](const std::string& failure) { finished(failure); }) {
  folder_ = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  if (folder_.isEmpty() || !QFileInfo(folder_).isDir()) folder_ = QDir::homePath();
  // Both dialogs are opened without a loop of their own, so that a render in
  // progress goes on painting while the user answers.
  asks.chooseMovie = [](QWidget* parent, const MovieChoice& proposed, const QString& note,
                        std::function<void(const MovieChoice&)> chosen) {
    auto* dialog = new MovieDialog(parent, proposed, note);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, dialog, [dialog, chosen] { chosen(dialog->choice()); });
    dialog->open();
  };
  asks.chooseWayFile = [](QWidget* parent, const QString& proposed, const QString& note,
                          std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(parent, kWayTitle, proposed, "Path files (*.json)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (!note.isEmpty()) {
      // Explained in the dialog's body, which only Qt's own file dialog has.
      dialog->setOption(QFileDialog::DontUseNativeDialog);
      if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        auto* explanation = new QLabel(note, dialog);
        explanation->setWordWrap(true);
        grid->addWidget(explanation, grid->rowCount(), 0, 1, grid->columnCount());
      }
    }
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix("json");
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) { chosen(path); });
    dialog->open();
  };
  asks.choosePictures = [](QWidget* parent, const QString& folder, std::function<void(const QStringList&)> chosen) {
    auto* dialog = new QFileDialog(parent, "Pictures to make a movie through, in order", folder,
                                   "Pictures and path files (*.png *.json)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    QObject::connect(dialog, &QFileDialog::filesSelected, dialog, [chosen](const QStringList& files) { chosen(files); });
    dialog->open();
  };
  asks.showMade = [](QWidget* parent, const QString& output) {
    auto* box = new QMessageBox(QMessageBox::Information, kMovieTitle,
                                QString("The movie is made: %1").arg(QDir::toNativeSeparators(output)),
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* show = box->addButton("Show in folder", QMessageBox::ActionRole);
    const QString folder = QFileInfo(output).isDir() ? output : QFileInfo(output).absolutePath();
    QObject::connect(show, &QPushButton::clicked, box,
                     [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    box->open();
  };
}

void MovieMaker::addMenuEntries(QMenu& menu) {
  menu.addSeparator();
  menu.addAction("Make a movie…", this, &MovieMaker::makeMovie);
  menu.addAction("Save the way here…", this, &MovieMaker::saveWayHere);
}

std::vector<movie::Keyframe> MovieMaker::keyframesHere(QString& note) const {
  const std::span<const HistoryView> all = history_.viewsUpToCurrent();
  const std::span<const HistoryView> way = wayHere(all);
  if (way.size() >= 2 && way.size() < all.size())
    note = QString("The way here holds %1 views; the last %2 share the pattern and size of the view shown, "
                   "and only they are taken.")
               .arg(all.size())
               .arg(way.size());
  std::vector<movie::Keyframe> keyframes;
  for (std::size_t k = 0; k < way.size(); ++k)
    keyframes.push_back({patternAt(way[k].pattern)->caption, way[k].texts,
                         "view " + std::to_string(all.size() - way.size() + k + 1) + " of the way here"});
  // The movie starts where every step to the view shown can be made.
  const std::size_t makeable = makeableTail(keyframes);
  if (keyframes.size() >= 2 && makeable < 2) {
    note = "The step from the view before the one shown to the view shown lies beyond double precision (the "
           "views are too far apart for their widths), so no movie can end here. Move on from here, or pick "
           "pictures to join.";
    keyframes.clear();
  } else if (makeable < keyframes.size()) {
    const std::size_t left = keyframes.size() - makeable;
    keyframes.erase(keyframes.begin(), keyframes.begin() + static_cast<std::ptrdiff_t>(left));
    if (!note.isEmpty()) note += "\n";
    note += (left == 1 ? QString("The oldest view is left out") : QString("The %1 oldest views are left out").arg(left)) +
            QString(": the way from it to the next lies beyond double precision, so the movie joins the last %1.")
                .arg(makeable);
  }
  return keyframes;
}

void MovieMaker::saveWayHere() {
  QString note;
  const std::vector<movie::Keyframe> keyframes = keyframesHere(note);
  if (keyframes.size() < 2 && !note.isEmpty()) {
    tell_(kWayTitle, note);
    return;
  }
  if (keyframes.size() < 2) {
    tell_(kWayTitle, "The way here holds fewer than two views of the pattern and size shown: render a view, "
                     "move to another (drag, wheel, double-click), and save the way then.");
    return;
  }
  picture::PathFile path{PLORVEX_VERSION, {}};
  for (const movie::Keyframe& keyframe : keyframes) path.views.push_back({keyframe.pattern, keyframe.texts});
  asks.chooseWayFile(&window_, QDir(folder_).filePath("way.json"), note, [this, path](const QString& file) {
    std::string error;
    folder_ = QFileInfo(file).absolutePath();
    if (!picture::writePathFile(path, file, error))
      tell_(kWayTitle, QString("The way was not saved: %1.").arg(QString::fromStdString(error)));
  });
}

void MovieMaker::makeMovie() {
  if (job_.busy()) {
    tell_(kMovieTitle, "A movie is still being made; wait for it or cancel it first.");
    return;
  }
  QString note;
  std::vector<movie::Keyframe> keyframes = keyframesHere(note);
  if (keyframes.size() >= 2) {
    askForMovie(std::move(keyframes), note);
    return;
  }
  if (!note.isEmpty()) tell_(kMovieTitle, note);
  // Without a way here the user picks the views.
  asks.choosePictures(&window_, folder_, [this](const QStringList& files) {
    std::vector<movie::Keyframe> chosen;
    std::string error;
    for (const QString& file : files)
      if (!movie::appendKeyframes(QFile::encodeName(file).toStdString(), chosen, error)) {
        tell_(kMovieTitle, QString("No movie: %1.").arg(QString::fromStdString(error)));
        return;
      }
    if (!files.isEmpty()) folder_ = QFileInfo(files.front()).absolutePath();
    if (chosen.size() < 2) {
      tell_(kMovieTitle, "A movie needs two or more views: pick two or more pictures (or a path file).");
      return;
    }
    askForMovie(std::move(chosen), {});
  });
}

void MovieMaker::askForMovie(std::vector<movie::Keyframe> keyframes, const QString& note) {
  std::string error;
  const std::optional<movie::MoviePath> path = movie::MoviePath::make(std::move(keyframes), error);
  if (!path) {
    tell_(kMovieTitle, QString("No movie: %1.").arg(QString::fromStdString(error)));
    return;
  }
  MovieChoice proposed = last_;
  if (proposed.output.isEmpty()) proposed.output = QDir(folder_).filePath("movie.mp4");
  proposed.plainSize = QSize(static_cast<int>(path->columns()), static_cast<int>(path->rows()));
  proposed.density = density_();
  asks.chooseMovie(&window_, proposed, note, [this, path = *path](const MovieChoice& choice) {
    last_ = choice;
    start(path, choice);
  });
}

void MovieMaker::start(const movie::MoviePath& path, const MovieChoice& chosen) {
  if (job_.busy()) return;
  MovieChoice choice = chosen;
  choice.output = QDir::cleanPath(QDir(folder_).absoluteFilePath(chosen.output));  // relative names lie in the folder
  const std::string output = QFile::encodeName(choice.output).toStdString();
  const std::optional<std::size_t> frames = movie::frameCount(choice.seconds, choice.fps);
  QString problem;
  if (!frames)
    problem = "the seconds and frames a second make too many frames";
  else if (movie::isVideoFile(output) && !movie::videoFileProblem(output).empty())
    problem = QString::fromStdString(movie::videoFileProblem(output));
  else if (movie::isVideoFile(output) && !movie::ffmpegInstalled())
    problem = "a video needs the ffmpeg program, which is not installed (Debian package ffmpeg); "
              "a folder for the frames needs nothing more";
  else if (!movie::isVideoFile(output) && QFileInfo(choice.output).exists() && !QFileInfo(choice.output).isDir())
    problem = QString("'%1' is neither a video name nor a folder").arg(choice.output);
  if (!problem.isEmpty()) {
    tell_(kMovieTitle, QString("No movie: %1.").arg(problem));
    return;
  }
  folder_ = QFileInfo(choice.output).absolutePath();
  const int density = std::min(kMaxDensity, density_() * choice.scale);
  job_.start({path, *frames, {density, choice.smooth ? kSmoothEdges : 1}, choice.output,
              QString::number(choice.fps).toStdString()});
  made_ = choice.output;
  follower_.follow(window_.actions());
}

void MovieMaker::finished(const std::string& failure) {
  if (failure.empty()) asks.showMade(&window_, made_);
  if (!failure.empty() && failure != picture::kWriteCancelled)
    tell_(kMovieTitle, QString("The movie was not made: %1.").arg(QString::fromStdString(failure)));
}

}  // namespace plorvex::app

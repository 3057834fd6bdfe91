// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>

#include <algorithm>
#include <optional>

#include "picture.h"
#include "picture_render.h"
#include "time_left.h"

namespace plorvex::app {

namespace {

constexpr picture::ImageFormat kSaveFormats[] = {picture::ImageFormat::Png, picture::ImageFormat::Jpeg,
                                                 picture::ImageFormat::Bmp, picture::ImageFormat::Ppm,
                                                 picture::ImageFormat::Webp};

// ".png, .jpg, .bmp, .ppm or .webp": the suffixes this system can save.
QString knownSuffixes() {
  QStringList suffixes;
  for (const picture::ImageFormat format : kSaveFormats)
    if (picture::canWrite(format)) suffixes << "." + QString(picture::formatLabel(format)).toLower();
  suffixes.replaceInStrings(".jpeg", ".jpg");
  const QString last = suffixes.takeLast();
  return suffixes.join(", ") + " or " + last;
}

}  // namespace

int savedDensity(int windowDensity, int scale) { return std::min(kMaxDensity, windowDensity * scale); }

QString resolvedSavePath(const QString& typed, const QString& folder) {
  QString name = QDir::fromNativeSeparators(typed.trimmed());
  if (name == "~" || name.startsWith("~/")) name.replace(0, 1, QDir::homePath());
  QString path = QDir(folder).absoluteFilePath(name);
  if (QFileInfo(path).suffix().isEmpty()) path += ".png";
  return QDir::cleanPath(path);
}

QString saveFormatProblem(const QString& path) {
  const std::optional<picture::ImageFormat> format = picture::formatFromPath(path);
  if (format && picture::canWrite(*format)) return {};
  const QString suffix = QFileInfo(path).suffix();
  if (format)
    return QString("This system cannot save %1 pictures; end the name with %2.")
        .arg(picture::formatLabel(*format), knownSuffixes());
  return QString("\"%1\" does not end with the name of a picture format: end it with %2.")
      .arg(QFileInfo(path).fileName(), knownSuffixes());
}

QString scaleLabel(const SaveChoice& offered, int scale) {
  const QSize pixels = offered.plainSize * savedDensity(offered.density, scale);
  return QString("x%1 - %2 x %3").arg(scale).arg(pixels.width()).arg(pixels.height());
}

QMimeData* pictureMimeData(const QImage& picture, const picture::PictureParameters& parameters) {
  auto* data = new QMimeData;
  data->setImageData(picture);
  QBuffer png;
  png.open(QIODevice::WriteOnly);
  std::string error;
  // Parameters a file could not keep leave the image alone on the clipboard.
  if (picture::writePicture(picture, png, picture::ImageFormat::Png, parameters, error))
    data->setData("image/png", png.data());
  return data;
}

SaveDialog::SaveDialog(QWidget* parent, const SaveChoice& proposed, const QString& folder)
    : QDialog(parent), folder_(folder), offered_(proposed) {
  setWindowTitle("Save picture");
  name_ = new QLineEdit(proposed.path, this);
  name_->setMinimumWidth(420);
  name_->selectAll();
  auto* browse = new QPushButton("Browse…", this);
  browse->setAutoDefault(false);
  connect(browse, &QPushButton::clicked, this, &SaveDialog::browse);
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(name_);
  nameRow->addWidget(browse);
  scale_ = new QComboBox(this);
  for (int scale : {1, 2, 4, 8}) scale_->addItem(scaleLabel(proposed, scale), scale);
  scale_->setCurrentIndex(scale_->findData(proposed.scale));
  smooth_ = new QCheckBox("smooth edges", this);
  smooth_->setChecked(proposed.smooth);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SaveDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SaveDialog::reject);
  auto* form = new QFormLayout(this);
  form->addRow("File name:", nameRow);
  form->addRow("", new QLabel(QString("The name's ending picks the format (%1); PNG and JPEG keep the\n"
                                      "pattern and the fields. Relative names go in %2")
                                  .arg(knownSuffixes(), QDir::toNativeSeparators(folder)),
                              this));
  form->addRow("Size:", scale_);
  form->addRow("", smooth_);
  form->addRow(buttons);
  name_->setFocus();
}

SaveChoice SaveDialog::choice() const {
  SaveChoice chosen = offered_;
  chosen.path = resolvedSavePath(name_->text(), folder_);
  chosen.scale = scale_->currentData().toInt();
  chosen.smooth = smooth_->isChecked();
  return chosen;
}

void SaveDialog::browse() {
  QStringList filters;
  for (const picture::ImageFormat format : kSaveFormats) {
    if (!picture::canWrite(format)) continue;
    const QString label = picture::formatLabel(format);
    filters << (format == picture::ImageFormat::Jpeg ? "JPEG (*.jpg *.jpeg)"
                                                      : QString("%1 (*.%2)").arg(label, label.toLower()));
  }
  const QString chosen = QFileDialog::getSaveFileName(this, "Save picture", choice().path, filters.join(";;"));
  if (!chosen.isEmpty()) name_->setText(chosen);
}

void SaveDialog::accept() {
  if (name_->text().trimmed().isEmpty()) return;
  const QString path = choice().path;
  if (const QString problem = saveFormatProblem(path); !problem.isEmpty()) {
    QMessageBox::warning(this, "Save picture", problem);
    return;
  }
  if (QFileInfo::exists(path) &&
      QMessageBox::question(this, "Save picture",
                            QString("%1 exists already. Replace it?").arg(QDir::toNativeSeparators(path)),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  QDialog::accept();
}

// --- Saving off the window's thread ------------------------------------------------

void BackgroundJob::stop() {
  cancel();
  if (thread_.joinable()) thread_.join();
}

void BackgroundJob::launch(Phase first, QString label, std::function<std::string()> work) {
  if (thread_.joinable()) thread_.join();
  failure_.clear();
  cancelled_ = false;
  done_ = 0;
  total_ = 0;
  label_ = std::move(label);
  started_ = std::chrono::steady_clock::now();
  phase_ = first;
  thread_ = std::thread([this, work = std::move(work)] {
    failure_ = work();
    phase_ = Phase::Finished;
  });
}

std::string BackgroundJob::finish() {
  if (thread_.joinable()) thread_.join();
  phase_ = Phase::Idle;
  return failure_;
}

QString BackgroundJob::progressText() const {
  if (phase_ == Phase::Writing) return label_ + "\nwriting the file";
  const std::size_t done = done_, total = total_;
  if (phase_ != Phase::Rendering || total == 0) return label_;
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  return label_ + "\n" + QString::fromStdString(picture::elapsedAndLeftText(done, total, elapsed));
}

void PictureSaveJob::start(Request request) {
  const Phase first = request.image.isNull() ? Phase::Rendering : Phase::Writing;
  const QString label = QString("Saving %1…").arg(QDir::toNativeSeparators(request.path));
  launch(first, label, [this, request = std::move(request)]() mutable { return run(request); });
}

std::string PictureSaveJob::render(Request& request) {
  const picture::PictureParameters& p = request.parameters;
  picture::PictureHost host(p.fields, {p.density, p.smooth}, request.pool);
  host.onColumn = [&](std::size_t done, std::size_t total) {
    progress(done, total);
    if (cancelled()) host.cancel();
  };
  const RenderOutcome outcome = request.pattern->render(host);
  if (cancelled()) return picture::kWriteCancelled;
  if (outcome.end == RenderEnd::Faulted)
    return "the picture could not be painted again: " + picture::faultDescription(outcome);
  request.image = host.image();
  return {};
}

std::string PictureSaveJob::run(Request& request) {
  std::string failure;
  if (request.image.isNull()) failure = render(request);
  if (failure.empty()) {
    enter(Phase::Writing);
    picture::writePicture(request.image, request.path, request.format, request.parameters, failure,
                          [this] { return !cancelled(); });
  }
  return failure;
}

// --- Its progress --------------------------------------------------------------------

JobFollower::JobFollower(QWidget& parent, BackgroundJob& job, QString title,
                         std::function<void(const std::string&)> finished)
    : parent_(parent), job_(job), title_(std::move(title)), finished_(std::move(finished)) {
  timer_.setInterval(100);
  connect(&timer_, &QTimer::timeout, this, &JobFollower::update);
}

void JobFollower::follow(const QList<QAction*>& keys) {
  auto* progress = new QProgressDialog(job_.progressText(), "Cancel", 0, 1000, &parent_);
  progress->setWindowTitle(title_);
  progress->setWindowModality(Qt::NonModal);  // the window stays usable
  progress->setAttribute(Qt::WA_ShowWithoutActivating);
  progress->addActions(keys);
  progress->setMinimumDuration(500);
  progress->setAttribute(Qt::WA_DeleteOnClose);
  QObject::connect(progress, &QProgressDialog::canceled, progress, [this] { job_.cancel(); });
  progress_ = progress;
  timer_.start();
}

void JobFollower::update() {
  if (progress_ && progress_->wasCanceled()) job_.cancel();
  const BackgroundJob::Phase phase = job_.phase();
  if (progress_ && phase != BackgroundJob::Phase::Finished) progress_->setLabelText(job_.progressText());
  if (progress_ && phase == BackgroundJob::Phase::Rendering && job_.total() > 0)
    progress_->setValue(static_cast<int>(900 * job_.done() / job_.total()));
  if (progress_ && phase == BackgroundJob::Phase::Writing) progress_->setValue(950);
  if (phase != BackgroundJob::Phase::Finished) return;
  if (progress_) progress_->close();
  timer_.stop();
  finished_(job_.finish());
}

}  // namespace plorvex::app

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
#include "poster.h"
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

// The most pixels a side of a saved picture has: what libpng reads.
constexpr qint64 kMaxSide = static_cast<qint64>(picture::kMaxPosterSide);

// A typed text as a message quotes it: its start only, when it is long.
QString quoted(const QString& text) {
  constexpr int kShown = 24;
  return "\"" + (text.size() > kShown ? text.left(kShown) + "…" : text) + "\"";
}

// The largest density a picture of this plain size is saved at in a format
// other than PNG: such a picture is painted whole into memory first.
qint64 largestWholeDensity(QSize plain) {
  const qint64 pixels = qint64{plain.width()} * plain.height();
  qint64 density = kMaxDensity;
  while (density > 1 && pixels * density * density > static_cast<qint64>(picture::kMaxPicturePixels)) --density;
  return density;
}

// A width typed in pixels, or 0 with what is wrong with the text.
qint64 typedPixels(const QString& typed, QString& problem) {
  const QString text = typed.trimmed();
  if (text.isEmpty()) return problem = "Type the width in pixels, a whole number such as 4096.", 0;
  if (!std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
    return problem = QString("The width %1 is not a whole number of pixels: type digits only, such as 4096.")
                         .arg(quoted(text)),
           0;
  qsizetype first = 0;
  while (first + 1 < text.size() && text[first] == u'0') ++first;
  const QString digits = text.mid(first);
  if (digits.size() > 7 || digits.toLongLong() > kMaxSide)
    return problem = QString("The width %1 is more than any picture saved can have: at most 1,000,000 pixels a side.")
                         .arg(quoted(text)),
           0;
  if (digits == "0") return problem = "A width of 0 pixels holds no picture.", 0;
  return digits.toLongLong();
}

QString sizeText(int scale, QSize plain, qint64 density) {
  return QString("x%1 - %2 x %3").arg(scale).arg(plain.width() * density).arg(plain.height() * density);
}

}  // namespace

int chosenDensity(const SaveChoice& choice, QString& problem) {
  const qint64 plainWidth = choice.plainSize.width(), plainHeight = choice.plainSize.height();
  if (plainWidth <= 0 || plainHeight <= 0) return problem = "There is no picture to save yet.", 0;
  qint64 density = qint64{choice.density} * choice.scale;
  if (choice.width) {
    const qint64 width = typedPixels(*choice.width, problem);
    if (width == 0) return 0;
    density = width / plainWidth;
    if (width % plainWidth != 0) {
      problem = QString("A width of %1 pixels is not a whole multiple of %2, the width of the picture's plain render: ")
                    .arg(width)
                    .arg(plainWidth);
      problem += density == 0 ? QString("the smallest width is %1.").arg(plainWidth)
                              : QString("the nearest widths are %1 and %2.")
                                    .arg(density * plainWidth)
                                    .arg((density + 1) * plainWidth);
      return 0;
    }
  }
  if (density < 1) return problem = "The size chosen has no pixels.", 0;
  const qint64 largest = kMaxSide / std::max(plainWidth, plainHeight);
  if (density > largest)
    return problem = QString("At %1 x %2 pixels the picture would pass 1,000,000 pixels a side, the most a PNG "
                             "reader takes: the largest size is %3 x %4.")
                         .arg(plainWidth * density)
                         .arg(plainHeight * density)
                         .arg(plainWidth * largest)
                         .arg(plainHeight * largest),
           0;
  const std::optional<picture::ImageFormat> format = picture::formatFromPath(choice.path);
  if (const qint64 most = largestWholeDensity(choice.plainSize);
      format && *format != picture::ImageFormat::Png && density > most)
    return problem = QString("A %1 picture of this view has at most %2 x %3 pixels; larger sizes are saved as PNG "
                             "only: end the name with .png.")
                         .arg(picture::formatLabel(*format))
                         .arg(plainWidth * most)
                         .arg(plainHeight * most),
           0;
  return static_cast<int>(density);
}

QString saveSizeLabel(const SaveChoice& offered, int scale) {
  const qint64 density = qint64{offered.density} * scale;
  const QString label = sizeText(scale, offered.plainSize, density);
  return density > largestWholeDensity(offered.plainSize) ? label + " (PNG only)" : label;
}

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
  return sizeText(scale, offered.plainSize, std::min(kMaxDensity, offered.density * scale));
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
  for (int scale : kSaveScales) scale_->addItem(saveSizeLabel(proposed, scale), scale);
  scale_->addItem("a width typed in pixels", 0);
  scale_->setCurrentIndex(proposed.width ? scale_->count() - 1 : std::max(0, scale_->findData(proposed.scale)));
  width_ = new QLineEdit(proposed.width.value_or(QString()), this);
  width_->setObjectName("width");
  width_->setPlaceholderText("pixels");
  width_->setMaximumWidth(120);
  sizeNote_ = new QLabel(this);
  sizeNote_->setObjectName("sizeNote");
  sizeNote_->setWordWrap(true);
  // Room for the longest refusal, so that the dialog keeps its size as one types.
  sizeNote_->setMinimumHeight(2 * sizeNote_->fontMetrics().lineSpacing());
  // Typing a width chooses it; the note says what it makes.
  connect(width_, &QLineEdit::textEdited, this, [this] {
    scale_->setCurrentIndex(scale_->count() - 1);
    showSize();
  });
  connect(scale_, &QComboBox::currentIndexChanged, this, &SaveDialog::showSize);
  connect(name_, &QLineEdit::textChanged, this, &SaveDialog::showSize);
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
  form->addRow("Width:", width_);
  form->addRow("", sizeNote_);
  form->addRow("", smooth_);
  form->addRow(buttons);
  showSize();
  name_->setFocus();
}

bool SaveDialog::widthTyped() const { return scale_->currentData().toInt() == 0; }

SaveChoice SaveDialog::choice() const {
  SaveChoice chosen = offered_;
  chosen.path = resolvedSavePath(name_->text(), folder_);
  chosen.scale = widthTyped() ? 1 : scale_->currentData().toInt();
  chosen.width = widthTyped() ? std::optional(width_->text()) : std::nullopt;
  chosen.smooth = smooth_->isChecked();
  return chosen;
}

void SaveDialog::showSize() {
  const SaveChoice chosen = choice();
  const QSize plain = chosen.plainSize;
  QString problem;
  if (const qint64 density = chosenDensity(chosen, problem); density == 0)
    sizeNote_->setText(problem);
  else if (widthTyped())
    sizeNote_->setText(QString("%1 x %2 pixels").arg(plain.width() * density).arg(plain.height() * density));
  else
    sizeNote_->setText(QString("or type a width: a whole multiple of %1 pixels, up to %2")
                           .arg(plain.width())
                           .arg(plain.width() * (kMaxSide / std::max(plain.width(), plain.height()))));
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
  if (QString problem; chosenDensity(choice(), problem) == 0) {
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

// A PNG is written in bands as they are rendered, with the bytes the command
// line writes for the view; nothing when the view is one only the column sweep
// paints as the window does (an arithmetic error, counters off their pixels).
std::optional<std::string> PictureSaveJob::writePoster(const Request& request) {
  const picture::PictureParameters& p = request.parameters;
  picture::PosterRequest poster;
  poster.pattern = request.pattern;
  poster.fields = p.fields;
  poster.sampling = {p.density, p.smooth};
  poster.threads = std::max(1u, std::thread::hardware_concurrency());
  poster.version = p.version;
  poster.onProgress = [this](std::size_t done, std::size_t total) {
    progress(done, total);
    if (done == total) enter(Phase::Writing);  // the bands are made into the file
  };
  poster.keepGoing = [this] { return !cancelled(); };
  const picture::PosterResult result = picture::makePoster(poster, QFile::encodeName(request.path));
  switch (result.end) {
    case picture::PosterEnd::Written:
      return std::string();
    case picture::PosterEnd::Faulted:
    case picture::PosterEnd::NotStreamed:
      return std::nullopt;
    case picture::PosterEnd::Refused:
    case picture::PosterEnd::Failed:
      break;
  }
  return result.error;
}

std::string PictureSaveJob::run(Request& request) {
  if (request.image.isNull() && request.format == picture::ImageFormat::Png) {
    if (std::optional<std::string> failure = writePoster(request)) return *failure;
    if (cancelled()) return picture::kWriteCancelled;
    enter(Phase::Rendering);  // painted whole instead
  }
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

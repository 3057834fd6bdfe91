// SPDX-License-Identifier: GPL-3.0-or-later
#include "keeping.h"

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
#include <QPushButton>

#include "picture.h"
#include "picture_render.h"

namespace plorvex::app {

QString resolvedSavePath(const QString& typed, const QString& folder) {
  QString name = QDir::fromNativeSeparators(typed.trimmed());
  if (name == "~" || name.startsWith("~/")) name.replace(0, 1, QDir::homePath());
  QString path = QDir(folder).absoluteFilePath(name);
  if (!picture::formatFromPath(path)) path += ".png";
  return QDir::cleanPath(path);
}

SaveDialog::SaveDialog(QWidget* parent, const SaveChoice& proposed, const QString& folder)
    : QDialog(parent), folder_(folder) {
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
  for (int scale : {1, 2, 4, 8}) scale_->addItem(QString("x%1").arg(scale), scale);
  scale_->setCurrentIndex(scale_->findData(proposed.scale));
  smooth_ = new QCheckBox("smooth edges", this);
  smooth_->setChecked(proposed.smooth);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &SaveDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SaveDialog::reject);
  auto* form = new QFormLayout(this);
  form->addRow("File name:", nameRow);
  form->addRow("", new QLabel(QString("PNG keeps the pattern and the fields; relative names go in %1")
                                  .arg(QDir::toNativeSeparators(folder)),
                              this));
  form->addRow("Size:", scale_);
  form->addRow("", smooth_);
  form->addRow(buttons);
  name_->setFocus();
}

SaveChoice SaveDialog::choice() const {
  return {resolvedSavePath(name_->text(), folder_), scale_->currentData().toInt(), smooth_->isChecked()};
}

void SaveDialog::browse() {
  const QString chosen = QFileDialog::getSaveFileName(this, "Save picture", choice().path,
                                                      "PNG pictures (*.png);;PPM (*.ppm);;BMP (*.bmp)");
  if (!chosen.isEmpty()) name_->setText(chosen);
}

void SaveDialog::accept() {
  if (name_->text().trimmed().isEmpty()) return;
  const QString path = choice().path;
  if (QFileInfo::exists(path) &&
      QMessageBox::question(this, "Save picture",
                            QString("%1 exists already. Replace it?").arg(QDir::toNativeSeparators(path)),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
    return;
  QDialog::accept();
}

// --- Saving off the window's thread ------------------------------------------------

PictureSaveJob::~PictureSaveJob() {
  cancel();
  if (thread_.joinable()) thread_.join();
}

void PictureSaveJob::start(Request request) {
  if (thread_.joinable()) thread_.join();
  failure_.clear();
  cancelled_ = false;
  done_ = 0;
  total_ = 0;
  phase_ = request.image.isNull() ? Phase::Rendering : Phase::Writing;
  thread_ = std::thread([this, request = std::move(request)]() mutable { run(std::move(request)); });
}

std::string PictureSaveJob::render(Request& request) {
  const picture::PictureParameters& p = request.parameters;
  picture::PictureHost host(p.fields, {p.density, p.smooth}, request.pool);
  host.onColumn = [&](std::size_t done, std::size_t total) {
    total_ = total;
    done_ = done;
    if (cancelled_) host.cancel();
  };
  const RenderOutcome outcome = request.pattern->render(host);
  if (cancelled_) return picture::kWriteCancelled;
  if (outcome.end == RenderEnd::Faulted)
    return "the picture could not be painted again: " + picture::faultDescription(outcome);
  request.image = host.image();
  return {};
}

void PictureSaveJob::run(Request request) {
  std::string failure;
  if (request.image.isNull()) failure = render(request);
  if (failure.empty()) {
    phase_ = Phase::Writing;
    picture::writePicture(request.image, request.path, request.format, request.parameters, failure,
                          [this] { return !cancelled_; });
  }
  failure_ = failure;
  phase_ = Phase::Finished;
}

std::string PictureSaveJob::finish() {
  if (thread_.joinable()) thread_.join();
  phase_ = Phase::Idle;
  return failure_;
}

}  // namespace plorvex::app

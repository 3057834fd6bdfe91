// SPDX-License-Identifier: GPL-3.0-or-later
#include "services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QUrl>

namespace plorvex::app {

#ifdef Q_OS_WIN
// Windows keeps its browser in a fixed place.
namespace {
bool startBrowserAt(const QString& address) {
  return QProcess::startDetached(
      QStringLiteral("C:\\Program Files\\Internet Explorer\\iexplore.exe"), {address});
}
}  // namespace

QString noBrowserMessage(const QString&) {
  return "This function requires internet explorer (iexplore.exe) to be in the directory "
         "c:\\Program Files\\  ";
}
#else
// Elsewhere the desktop's default browser: xdg-open, or the one BROWSER names.
namespace {
bool startBrowserAt(const QString& address) { return QDesktopServices::openUrl(QUrl(address)); }
}  // namespace

QString noBrowserMessage(const QString& address) {
  return QString("This system has no default web browser to open %1 with: it needs xdg-open "
                 "(package xdg-utils) and a browser, or a browser named in the BROWSER "
                 "environment variable.")
      .arg(address);
}
#endif

WindowServices defaultServices() {
  WindowServices services;
  services.showCritical = [](QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
  };
  services.startBrowser = startBrowserAt;
  services.askToStopSave = [](QWidget* parent, const QString& question, std::function<void()> stop) {
    auto* box = new QMessageBox(QMessageBox::Question, "Plorvex Picture Maker", question,
                                QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* stopButton = box->addButton("Stop saving and exit", QMessageBox::DestructiveRole);
    box->setDefaultButton(box->addButton("Go on saving", QMessageBox::RejectRole));
    QObject::connect(box, &QMessageBox::finished, box, [box, stopButton, stop] {
      if (box->clickedButton() == stopButton) stop();
    });
    box->open();
  };
  services.exitProgram = [] { QCoreApplication::quit(); };
  services.beep = [] { QApplication::beep(); };
  // Both dialogs are opened without a loop of their own, so that a render in
  // progress goes on painting while the user answers.
  services.chooseSave = [](QWidget* parent, const SaveChoice& proposed, const QString& folder,
                           std::function<void(const SaveChoice&)> chosen) {
    auto* dialog = new SaveDialog(parent, proposed, folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QDialog::accepted, dialog, [dialog, chosen] { chosen(dialog->choice()); });
    dialog->open();
  };
  services.chooseOpen = [](QWidget* parent, const QString& folder,
                           std::function<void(const QString&)> chosen) {
    auto* dialog = new QFileDialog(parent, "Open picture", folder, "Pictures (*.png *.jpg *.jpeg)");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& path) { chosen(path); });
    dialog->open();
  };
  return services;
}

}  // namespace plorvex::app

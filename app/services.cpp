// SPDX-License-Identifier: GPL-3.0-or-later
#include "services.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>

namespace plorvex::app {

WindowServices defaultServices() {
  WindowServices services;
  services.showCritical = [](QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok, parent);
    box.exec();
  };
  services.startBrowser = [](const QString& address) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {address});
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

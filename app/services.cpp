// SPDX-License-Identifier: GPL-3.0-or-later
#include "services.h"

#include <QApplication>
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
  return services;
}

}  // namespace plorvex::app

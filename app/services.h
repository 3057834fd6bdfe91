// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window asks of the world outside it. Tests replace these to watch
// message boxes, browser starts and the program's exit without side effects.

#include <QString>

#include <functional>

class QWidget;

namespace plorvex::app {

struct WindowServices {
  // A modal message box with the stop icon and one OK button.
  std::function<void(QWidget* parent, const QString& title, const QString& text)> showCritical;
  // Starts the web browser on a page without waiting; false if it cannot.
  std::function<bool(const QString& address)> startBrowser;
  // Ends the program; called after the window is hidden and renders are told to stop.
  std::function<void()> exitProgram;
  // A press that cannot be served.
  std::function<void()> beep;
};

WindowServices defaultServices();

}  // namespace plorvex::app

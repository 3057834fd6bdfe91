// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the window asks of the world outside it. Tests replace these to watch
// message boxes, browser starts and the program's exit without side effects.

#include <QString>

#include <functional>

#include "keeping.h"

class QWidget;

namespace plorvex::app {

struct WindowServices {
  // A modal message box with the stop icon and one OK button.
  std::function<void(QWidget* parent, const QString& title, const QString& text)> showCritical;
  // Starts the web browser on a page without waiting; false if it cannot.
  std::function<bool(const QString& address)> startBrowser;
  // Asks whether to stop the save still running and end the program; calls
  // `stop` only if the user agrees. It may return before the user has answered.
  std::function<void(QWidget* parent, const QString& question, std::function<void()> stop)> askToStopSave;
  // Ends the program; called after the window is hidden and renders are told to stop.
  std::function<void()> exitProgram;
  // A press that cannot be served.
  std::function<void()> beep;
  // Asks where and how to save a picture; calls `chosen` only if the user
  // saves. It may return before the user has answered.
  std::function<void(QWidget* parent, const SaveChoice& proposed, const QString& folder,
                     std::function<void(const SaveChoice&)> chosen)>
      chooseSave;
  // Asks for a picture to open; calls `chosen` only if the user picks one.
  std::function<void(QWidget* parent, const QString& folder, std::function<void(const QString&)> chosen)>
      chooseOpen;
};

WindowServices defaultServices();

// What the message says when startBrowser fails: what this system lacks.
QString noBrowserMessage(const QString& address);

}  // namespace plorvex::app

// A walk through the main window and its dialogs that saves a picture of each, for the
// documentation (started by the BARWISE_SCREENSHOTS environment variable: the folder to
// write to).
#pragma once

#include <QString>

class CMainFrame;

void StartScreenshotTour(CMainFrame& frame, const QString& folder);

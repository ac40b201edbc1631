// The application: owns the settings and the main window for the length of the run.
#pragma once

#include <memory>

#include "ui/qtuihost.h"
#include "ui/settingsstore.h"

class CMainFrame;

class CBarwiseApp {
public:
    CBarwiseApp();
    ~CBarwiseApp();
    CBarwiseApp(const CBarwiseApp&) = delete;
    CBarwiseApp& operator=(const CBarwiseApp&) = delete;

    // Opens the settings (importing an older INI file on the first run) and shows the main
    // window. False when the window cannot be made.
    bool InitInstance();
    // Closes the window and the settings.
    int ExitInstance();

    // Help > About Barwise.
    void OnAppAbout();

    barwise::SettingsStore& Settings() { return *m_settings; }
    CMainFrame* MainFrame() { return m_frame.get(); }

    std::unique_ptr<barwise::SettingsStore> m_settings;
    // One per link of the About box: a link opened once stays marked for the whole run.
    bool m_mailVisited = false;
    bool m_webVisited = false;

private:
    barwise::QtUiHost m_host;
    std::unique_ptr<CMainFrame> m_frame;
};

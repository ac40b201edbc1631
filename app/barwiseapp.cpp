#include "app/barwiseapp.h"

#include "about/aboutdlg.h"
#include "app/mainframe.h"

CBarwiseApp::CBarwiseApp() = default;
CBarwiseApp::~CBarwiseApp() {
    ExitInstance();
}

bool CBarwiseApp::InitInstance() {
    m_settings = std::make_unique<barwise::SettingsStore>();
    bool createdNew = false;
    // Without a settings store the program runs on its defaults.
    if (m_settings->OpenBaseKey(createdNew, QString::fromLatin1(barwise::kBaseKeyPath)) &&
        createdNew)
        m_settings->ImportIniFile();

    m_frame = std::make_unique<CMainFrame>(*m_settings, m_host);
    m_host.setParent(m_frame.get());
    m_frame->SetAboutHandler([this] { OnAppAbout(); });
    m_frame->show();
    return true;
}

int CBarwiseApp::ExitInstance() {
    m_host.setParent(nullptr);
    m_frame.reset();
    m_settings.reset();
    return 0;
}

void CBarwiseApp::OnAppAbout() {
    CAboutDlg about(m_host, m_mailVisited, m_webVisited, m_frame.get());
    m_host.runDialog(about);
}

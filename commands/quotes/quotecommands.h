// The Quotes menu's editing commands: Edit, Split, Adjust, Delete and Add. Each acts on
// the security and quote selected in the view, runs its dialog through the UiHost, hands
// its request to the rewrite engine, and on success writes its inputs to the settings and
// shows the quotes again.
#pragma once

namespace barwise {
class CommandView;
class SettingsStore;
class UiHost;
}  // namespace barwise

class CQuoteCommands {
public:
    CQuoteCommands(barwise::CommandView& view, barwise::UiHost& host,
                   barwise::SettingsStore& settings)
        : m_view(view), m_host(host), m_settings(settings) {}

    void OnQuoteEdit();
    void OnQuoteSplit();
    void OnQuoteAdjust();
    void OnQuoteDelete();
    void OnQuoteAdd();

private:
    barwise::CommandView& m_view;
    barwise::UiHost& m_host;
    barwise::SettingsStore& m_settings;
};

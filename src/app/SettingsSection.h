#pragma once

namespace app {

// The sections of the settings window, top to bottom: where a request to
// open it may ask it to scroll.
enum class SettingsSection { about, tip, signIn, background, apiKey, model, safety, agent };

} // namespace app

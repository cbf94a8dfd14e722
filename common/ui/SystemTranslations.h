#pragma once

// Loads Qt's own Russian texts (standard dialogs, buttons, context menus of
// edit controls), so that nothing in either program shows in English.
// Returns false when the translations are not installed; the programs still run.
bool InstallSystemTranslations();

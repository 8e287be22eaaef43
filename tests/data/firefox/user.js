// user.js: applied at every start
user_pref("browser.blink_allowed", false); // no blinking
/* user_pref("browser.urlbar.autoFill", true); */
user_pref("ui.submenuDelay", 100);
user_preF("typo.stays", 1);

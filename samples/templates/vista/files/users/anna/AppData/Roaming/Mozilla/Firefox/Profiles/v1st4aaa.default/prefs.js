# Mozilla User Preferences

user_pref("browser.startup.homepage", "http://www.ravelin-beispiel.de/");

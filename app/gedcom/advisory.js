// GEDCOM import advisory: a one-time note shown before the first import on this browser profile.
// Runs after the application script.
(function () {})();

// A portal page that needs the sample game control: it asks the update
// control for it, lets it install the package when the player does not
// have it yet, and then uses it. In a browser this is the script block of
// an HTML page; ovhost.exe runs it the same way, with `host.echo` in place
// of writing into the page.
//
// The package's address comes from the page's own query string
// (?codebase=...&version=...), so that one page can try any package.

var SAMPLE_CLSID = "{0E5C1B2A-7F3D-4A8E-9B61-2C4D5E6F7A01}";

function queryValue(url, name, fallback) {
  var match = new RegExp("[?&]" + name + "=([^&#]*)").exec(url);
  return match ? decodeURIComponent(match[1]) : fallback;
}

var pageUrl = host.url();
var codebase = queryValue(pageUrl, "codebase", "http://cdn.ovelin.net/controls/OVSample.cab");
var needVersion = queryValue(pageUrl, "version", "1.0.0.5");

// Every step prints what the update control answered: its code and name.
function report(step, manager) {
  host.echo("page: " + step + ": result " + manager.GetLastError() + " " +
            manager.GetLastErrorCodeString());
}

var manager;
try {
  manager = new ActiveXObject("OVManagerX.OvelinAutoUpdater.1");
} catch (e) {
  host.fail("page: the update control is not registered (" + e.number + ")");
}

if (manager) {
  host.echo("page: update control created");
  var control = manager.GetActiveXObject(SAMPLE_CLSID, codebase, needVersion);
  report("GetActiveXObject(" + SAMPLE_CLSID + ", " + codebase + ", " + needVersion + ")", manager);
  if (control) {
    host.echo("page: sample control created; GetVersion() = " + control.GetVersion());
  } else {
    // What a real page does: tell the player, with the code to quote.
    host.fail("page: the sample control is not available: " + manager.GetLastErrorCodeString());
  }
}

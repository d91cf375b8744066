.pragma library
// Waits for a web view's page, for tests that look at it: the view is shown
// while its page may still be loading.

// A finished load of the view's current address, within 20 s.
function waitForLoad(testCase, webView, what) {
    testCase.tryVerify(function() { return !webView.loading && webView.loadProgress === 100 }, 20000,
                       "gave up waiting for " + what + " to load (at " + webView.loadProgress + "%)")
}

.pragma library
// Waits for what a web view's page says, for tests that read the page: the
// view is shown while the page may still be loading, or still be the page
// of the previous start.

// Runs `script` in the page of `webView` until its value passes `accept`;
// fails after `timeout` ms saying what it waited for and what it last read.
function waitFor(testCase, webView, script, accept, what, timeout) {
    var deadline = Date.now() + (timeout || 20000)
    var last = "no answer yet"
    while (Date.now() < deadline) {
        if (!webView.loading) {
            var answer = {done: false, value: null}
            webView.runJavaScript(script, function(value) { answer.done = true; answer.value = value })
            for (var i = 0; i < 40 && !answer.done; i++)
                testCase.wait(50)
            if (answer.done) {
                last = answer.value
                if (accept(last))
                    return last
            }
        }
        testCase.wait(100)
    }
    testCase.fail("gave up waiting for the page: " + what + " (last read: " + JSON.stringify(last) + ")")
}

// The text of the element `id`, once it reads `expected`.
function waitForText(testCase, webView, id, expected) {
    return waitFor(testCase, webView,
                   "(function() { var e = document.getElementById('" + id + "'); "
                   + "return e ? e.textContent : null })()",
                   function(value) { return value === expected },
                   "#" + id + " reading \"" + expected + "\"")
}

// Submits the page's first form once the page has one.
function submitForm(testCase, webView) {
    waitFor(testCase, webView,
            "(function() { var f = document.querySelector('form'); if (!f) return false; "
            + "f.submit(); return true })()",
            function(value) { return value === true }, "a form to submit")
}

// A finished load of the view's current address.
function waitForLoad(testCase, webView, what) {
    testCase.tryVerify(function() { return !webView.loading && webView.loadProgress === 100 }, 20000,
                       "gave up waiting for " + what + " to load (at " + webView.loadProgress + "%)")
}

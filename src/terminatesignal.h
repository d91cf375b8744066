#ifndef TERMINATESIGNAL_H
#define TERMINATESIGNAL_H

class QCoreApplication;

// Ends the app's event loop on SIGTERM (a shell's kill, the session ending,
// adb), as closing its window would: the app returns from exec() normally,
// having written its log, and nothing it started is stopped by it.
void quitOnTerminate(QCoreApplication *app);

#endif // TERMINATESIGNAL_H

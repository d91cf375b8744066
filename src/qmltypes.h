#ifndef QMLTYPES_H
#define QMLTYPES_H

#include "ccosupervisor.h"
#include "commandexecutor.h"
#include "maintenancelock.h"
#include "windowpicture.h"

#include <QtQml>

// The backend types the views declare, for the app, the tests and the
// benchmarks alike.
inline void registerBackendTypes()
{
    qmlRegisterType<CommandExecutor>("CommandExecutor", 1, 0, "CommandExecutor");
    qmlRegisterType<CcoSupervisor>("CommandExecutor", 1, 0, "CcoSupervisor");
    qmlRegisterType<MaintenanceLock>("CommandExecutor", 1, 0, "MaintenanceLock");
    qmlRegisterType<WindowPicture>("CommandExecutor", 1, 0, "WindowPicture");
    qmlRegisterUncreatableType<OutputModel>("CommandExecutor", 1, 0, "OutputModel",
                                            QStringLiteral("the supervisor's output"));
}

#endif // QMLTYPES_H

#pragma once

#include <QStringList>

namespace kt::service {

// The sub-commands of ka-tesmar-service; each returns the exit status.
int serveCommand(const QStringList& arguments);
int teacherCommand(const QStringList& arguments);
int classCommand(const QStringList& arguments);
int migrateCommand(const QStringList& arguments);

// What the command line takes, for a wrong one.
QString usageText();

}  // namespace kt::service

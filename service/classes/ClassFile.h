#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "store/ClassRecord.h"

namespace kt::service {

// The JSON file of classes that `serve --classes` adds: an array of class
// objects (the members of applyClassFields, and "code"). What it holds is
// checked as it enters (ClassRegister::importClasses).
struct ClassFile {
    QList<ClassRecord> classes;  // in file order; codes in upper case
    QString error;               // why the file could not be read, empty when it was
};

ClassFile readClassFile(const QString& path);
ClassFile parseClassFile(const QByteArray& json);

}  // namespace kt::service

#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace kt::testing {

// A throwaway folder with small helpers for stand-in programs.
class ScratchFolder {
  public:
    std::string path(const QString& name) const { return dir_.filePath(name).toStdString(); }

    // An executable shell script.
    std::string script(const QString& name, const QByteArray& body) const {
        QFile file(dir_.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\n" + body);
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return file.fileName().toStdString();
    }

    QByteArray read(const QString& name) const {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool exists(const QString& name) const { return QFile::exists(dir_.filePath(name)); }

  private:
    QTemporaryDir dir_;
};

}  // namespace kt::testing

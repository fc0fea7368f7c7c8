#pragma once

#include <QMap>
#include <QString>
#include <optional>

#include "store/ClassRecord.h"

namespace kt::service {

// The classes the service knows, by upper-case code.
class ClassStore {
  public:
    // Reads a JSON array of class objects. Returns an error text, empty on success.
    QString loadFile(const QString& path);
    QString loadJson(const QByteArray& json);

    std::optional<ClassRecord> find(const QString& code) const;
    // Applies `fields` to the class with `code`, creating it when it is new.
    // Returns an error text, empty on success.
    QString update(const QString& code, const QJsonObject& fields);
    QList<ClassRecord> all() const { return classes_.values(); }
    void put(const ClassRecord& record) { classes_.insert(record.code, record); }

  private:
    QMap<QString, ClassRecord> classes_;
};

}  // namespace kt::service

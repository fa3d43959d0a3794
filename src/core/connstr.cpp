#include "core/connstr.h"

QString MakeAccessConnStr(const QString& path, const QString& password, bool jet) {
    if (jet) {
        QString conn = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path;
        if (!password.isEmpty())
            conn += QStringLiteral(";Persist Security Info=False;Jet OLEDB:Database Password=") +
                    password;
        return conn;
    }
    QString conn = QStringLiteral("Driver={Microsoft Access Driver (*.mdb)};DBQ=") + path;
    if (!password.isEmpty())
        conn += QStringLiteral(";pwd=") + password;
    return conn;
}

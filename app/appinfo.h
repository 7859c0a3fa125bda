#pragma once

#include <QString>

// Process-wide facts that main() fixes before the main window exists.
class AppInfo {
public:
    static void setBrand(int brand);
    static int brand();

    static void setOrganizationName(const QString& name);
    static QString organizationName();

    static void setApplicationName(const QString& name);
    static QString applicationName();

private:
    static int brand_;
    static QString organizationName_;
    static QString applicationName_;
};

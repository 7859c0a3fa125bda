#include "appinfo.h"

int AppInfo::brand_ = 0;
QString AppInfo::organizationName_;
QString AppInfo::applicationName_;

void AppInfo::setBrand(int brand) {
    brand_ = brand;
}

int AppInfo::brand() {
    return brand_;
}

void AppInfo::setOrganizationName(const QString& name) {
    organizationName_ = name;
}

QString AppInfo::organizationName() {
    return organizationName_;
}

void AppInfo::setApplicationName(const QString& name) {
    applicationName_ = name;
}

QString AppInfo::applicationName() {
    return applicationName_;
}

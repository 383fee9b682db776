#include "urllistmodel.h"

UrlListModel::UrlListModel(QObject *parent) : ListModel(defaultCaptions(), parent) {}

QStringList UrlListModel::defaultCaptions()
{
    return {QStringLiteral("URL"),
            QStringLiteral("filetypes"),
            QStringLiteral("recurse index depth"),
            QStringLiteral("stay onsite"),
            QStringLiteral("just go down"),
            QStringLiteral("minimum filesize"),
            QStringLiteral("uniquefilename"),
            QStringLiteral("extra click"),
            QStringLiteral("file pattern")};
}

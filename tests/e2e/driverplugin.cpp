// A program built for Windows cannot be preloaded with the driver: under Wine, Qt loads the driver
// as a generic plugin instead (QT_QPA_GENERIC_PLUGINS=kve2edriver, from a plugins/generic folder on
// QT_PLUGIN_PATH). Loading it is all it takes: the driver's start-up function schedules the scenario.
#include <QGenericPlugin>

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "driverplugin.json")
public:
    QObject *create(const QString &, const QString &) override { return new QObject(this); }
};

#include "driverplugin.moc"

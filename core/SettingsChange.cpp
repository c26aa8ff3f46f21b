#include "core/SettingsChange.h"

#include "core/SettingRules.h"

namespace {

SettingProblem Problem(const QList<SettingField>& fields, const SettingValues& values)
{
    const SettingField* field = FirstInvalidField(fields, values);
    return field ? SettingProblem{field, values.value(field->key)} : SettingProblem{};
}

QList<SettingDifference> Differences(const QList<SettingField>& fields, const SettingValues& written,
                                     const SettingValues& read)
{
    QList<SettingDifference> differences;
    for (const SettingField& field : fields) {
        const auto wrote = written.constFind(field.key);
        if (wrote == written.cend())
            continue;
        const auto found = read.constFind(field.key);
        if (found == read.cend())
            differences << SettingDifference{&field, *wrote, std::nullopt};
        else if (*found != *wrote)
            differences << SettingDifference{&field, *wrote, *found};
    }
    return differences;
}

} // namespace

QList<PortChange> PortsOf(const GpioChange& change)
{
    return change.ports.isEmpty() ? QList<PortChange>{PortChange{}} : change.ports;
}

SettingProblem CheckSerialRecord(const BoardSerial& serial)
{
    return Problem(SerialFields(), SerialValues(serial));
}

SettingProblem CheckGpioRecord(const GpioSettings& settings)
{
    const SettingValues values = GpioValues(settings);
    const QStringList written = WrittenGpioKeys(settings.mode);
    if (written.isEmpty())
        return Problem(GpioPortFields(), OnlyKeys(values, {QStringLiteral("mode")}));
    if (const SettingProblem problem = Problem(GpioFields(), OnlyKeys(values, written)))
        return problem;
    return CheckGpioValues(OnlyKeys(values, written));
}

SettingProblem CheckGpioValues(const SettingValues& values)
{
    const auto mode = values.constFind(QStringLiteral("mode"));
    const auto trapTime = values.constFind(QStringLiteral("traptime"));
    if (mode == values.cend() || trapTime == values.cend() ||
        GpioRules::IsAllowedTrapTime(static_cast<int32_t>(*mode), static_cast<uint32_t>(*trapTime)))
        return {};
    return {FindField(GpioPortFields(), QStringLiteral("traptime")), *trapTime, true};
}

QList<SettingDifference> SerialDifferences(const BoardSerial& written, const BoardSerial& read)
{
    return Differences(SerialFields(), SerialValues(written), SerialValues(read));
}

QList<SettingDifference> GpioDifferences(const GpioSettings& written, const GpioSettings& read)
{
    return Differences(GpioFields(), OnlyKeys(GpioValues(written), WrittenGpioKeys(written.mode)),
                       GpioValues(read));
}

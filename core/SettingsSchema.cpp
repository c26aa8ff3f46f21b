#include "core/SettingsSchema.h"

#include "core/BoardMib.h"
#include "core/SettingRules.h"

namespace {

using Kind = SettingField::Kind;

template <std::size_t N> QStringList Names(const char* const (&names)[N])
{
    QStringList list;
    for (const char* name : names)
        list << QString::fromUtf8(name);
    return list;
}

template <std::size_t N>
SettingField Choice(const char* key, const char* const (&items)[N], const char* const (&names)[N],
                    bool numeric = false)
{
    SettingField field{QString::fromLatin1(key), Kind::Choice, Names(names), items, numeric};
    return field;
}

SettingField Number(const char* key, qint64 minimum, qint64 maximum)
{
    return {QString::fromLatin1(key), Kind::Number, {}, {}, false, minimum, maximum};
}

SettingField Address(const char* key)
{
    return {QString::fromLatin1(key), Kind::Address, {}, {}, false, 0, 0};
}

SettingField PortNumber()
{
    SettingField field = Number("port", SerialRules::kMinPortNumber, SerialRules::kMaxPortNumber);
    field.mayBeAbsent = true;
    return field;
}

SettingField BitRate()
{
    SettingField field{QStringLiteral("bitrate"), Kind::BitRate, Names(SerialRules::kBitRateItems),
                       SerialRules::kBitRateItems};
    field.numericChoices = true;
    return field;
}

template <std::size_t N> SettingValues ValuesOf(const std::array<MibVariable, N>& variables)
{
    SettingValues values;
    for (const MibVariable& variable : variables)
        values.insert(QString::fromLatin1(variable.key), variable.isUnsigned
                                                             ? qint64(static_cast<uint32_t>(*variable.field))
                                                             : qint64(*variable.field));
    return values;
}

template <std::size_t N>
void StoreValues(const SettingValues& values, const std::array<MibVariable, N>& variables)
{
    for (const MibVariable& variable : variables) {
        const auto found = values.constFind(QString::fromLatin1(variable.key));
        if (found != values.cend())
            *variable.field = static_cast<int32_t>(*found);
    }
}

const QString kPortKey = QStringLiteral("port");

} // namespace

const QList<SettingField>& SerialFields()
{
    using namespace SerialRules;
    static const QList<SettingField> fields = {
        Choice("mode", kConnectionModeItems, kConnectionModeNames),
        PortNumber(),
        Address("peer"),
        BitRate(),
        Choice("databits", kDataLengthItems, kDataLengthNames, true),
        Choice("stopbits", kStopBitItems, kStopBitNames, true),
        Choice("parity", kParityItems, kParityNames),
        Choice("flow", kFlowControlItems, kFlowControlNames),
    };
    return fields;
}

const QList<SettingField>& GpioNodeFields()
{
    static const QList<SettingField> fields = {
        Address("manager"),
        Number("period", GpioRules::kMinPeriod, GpioRules::kMaxPeriod),
    };
    return fields;
}

const QList<SettingField>& GpioPortFields()
{
    using namespace GpioRules;
    static const QList<SettingField> fields = {
        Choice("mode", kModeItems, kModeItems),      Choice("state", kLevelItems, kLevelItems),
        Choice("initial", kLevelItems, kLevelItems), Choice("trapstate", kLevelItems, kLevelItems),
        Number("traptime", 0, kMaxTrapTime),
    };
    return fields;
}

const QList<SettingField>& GpioFields()
{
    static const QList<SettingField> fields = GpioNodeFields() + GpioPortFields();
    return fields;
}

const SettingField* FindField(const QList<SettingField>& fields, const QString& key)
{
    for (const SettingField& field : fields) {
        if (field.key == key)
            return &field;
    }
    return nullptr;
}

bool IsValidValue(const SettingField& field, qint64 value)
{
    switch (field.kind) {
    case Kind::Choice:
        return value >= 0 && value < field.choices.size();
    case Kind::Number:
        return value >= field.minimum && value <= field.maximum;
    case Kind::BitRate:
        return SerialRules::IsListedBitRate(value);
    case Kind::Address:
        return value >= 0 && value <= 0xffffffffll;
    }
    return false;
}

const SettingField* FirstInvalidField(const QList<SettingField>& fields, const SettingValues& values)
{
    for (const SettingField& field : fields) {
        const auto found = values.constFind(field.key);
        if (found != values.cend() && !IsValidValue(field, *found))
            return &field;
    }
    return nullptr;
}

SettingValues SerialValues(const BoardSerial& serial)
{
    SerialSettings settings = serial.settings;
    SettingValues values = ValuesOf(BoardMib::SerialVariables(settings));
    if (!serial.hasPort)
        values.remove(kPortKey);
    return values;
}

void StoreSerialValues(const SettingValues& values, BoardSerial& serial)
{
    StoreValues(values, BoardMib::SerialVariables(serial.settings));
    if (values.contains(kPortKey))
        serial.hasPort = true;
}

SettingValues GpioValues(const GpioSettings& settings)
{
    GpioSettings copy = settings;
    return ValuesOf(BoardMib::GpioVariables(1, copy));
}

void StoreGpioValues(const SettingValues& values, GpioSettings& settings)
{
    StoreValues(values, BoardMib::GpioVariables(1, settings));
}

QStringList WrittenGpioKeys(int32_t mode)
{
    GpioSettings settings;
    const auto variables = BoardMib::GpioVariables(1, settings);
    QStringList keys;
    for (const std::size_t i : BoardMib::GpioWrittenVariables(mode))
        keys << QString::fromLatin1(variables[i].key);
    return keys;
}

SettingValues OnlyKeys(const SettingValues& values, const QStringList& keys)
{
    SettingValues kept;
    for (const QString& key : keys) {
        const auto found = values.constFind(key);
        if (found != values.cend())
            kept.insert(key, *found);
    }
    return kept;
}

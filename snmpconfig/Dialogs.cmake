# The two SNMP settings dialogs; the GUI half of this folder.
add_library(lanfinch_snmpconfig STATIC
    CGpioConfigDlg.cpp
    CGpioConfigDlg.h
    CSerialConfigDlg.cpp
    CSerialConfigDlg.h
    SnmpDialogSupport.cpp
    SnmpDialogSupport.h)
target_include_directories(lanfinch_snmpconfig PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(lanfinch_snmpconfig
    PUBLIC lanfinch_snmp lanfinch_resources Qt6::Widgets
    PRIVATE PkgConfig::NETSNMP lanfinch_protocol lanfinch_warnings)
set_target_properties(lanfinch_snmpconfig PROPERTIES AUTOMOC ON)

# The serial and I/O settings dialogs against the simulator's boards on loopback addresses.
foreach(name tst_SerialConfigDlg tst_GpioConfigDlg tst_SnmpDialogTimeouts)
    add_executable(${name} ${name}.cpp SnmpDialogTestSupport.h)
    target_link_libraries(${name} PRIVATE
        lanfinch_snmpconfig lanfinch_test_support Qt6::Test lanfinch_warnings)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
endforeach()
add_lanfinch_test(tst_SerialConfigDlg TIMEOUT 120)
add_lanfinch_test(tst_GpioConfigDlg TIMEOUT 120)
# Boards that never answer: every read waits out the real SNMP timeouts.
add_lanfinch_test(tst_SnmpDialogTimeouts TIMEOUT 120 LABELS slow)

# The node list's buttons that open the two dialogs.
add_executable(tst_SnmpSettingCommands tst_SnmpSettingCommands.cpp SnmpDialogTestSupport.h)
target_link_libraries(tst_SnmpSettingCommands PRIVATE
    lanfinch_app lanfinch_snmpconfig lanfinch_test_support Qt6::Test lanfinch_warnings)
set_target_properties(tst_SnmpSettingCommands PROPERTIES AUTOMOC ON)
add_lanfinch_test(tst_SnmpSettingCommands TIMEOUT 60)

# Fails when the views library LIBRARY holds a copy of the module's stateful functions:
# such a copy would keep a second, empty state beside the extension's.
execute_process(COMMAND nm -C ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm could not read ${LIBRARY}")
endif()
foreach(name "zaro::Ui()" "zaro::InstallUi(" "zaro::GetSetting" "zaro::SetSetting" "zaro::CopyHostTable"
             "zaro::LoadMessage" "zaro::ReadRegistryValue")
  string(FIND "${symbols}" " ${name}" found)
  if(NOT found EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} holds a copy of ${name}")
  endif()
endforeach()

# Qt for the desktop side: the text view framework, the tray application, the editor window and
# the documentation views. The core and the `quillet` command line never link it.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets DBus Multimedia Svg Test)

# Marks a target as a Qt target: moc and rcc on its sources, and no Qt keywords, because GLib's
# D-Bus headers use `signals` as a field name.
function(quillet_qt_target target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC ON)
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS)
endfunction()

# Registers a Qt test executable with CTest; it runs without a display.
# Extra arguments after the target name are the ctest labels.
function(quillet_qt_test target)
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES
        TIMEOUT 120
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=*.debug=false"
        LABELS "qt;${ARGN}")
endfunction()

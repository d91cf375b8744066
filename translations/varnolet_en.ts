<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CcoSupervisor</name>
    <message numerus="yes">
        <source>Starting CCO in %n second(s)</source>
        <translation>
            <numerusform>Starting CCO in %n second</numerusform>
            <numerusform>Starting CCO in %n seconds</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>CCO stopped answering. Restarting in %n second(s)</source>
        <translation>
            <numerusform>CCO stopped answering. Restarting in %n second</numerusform>
            <numerusform>CCO stopped answering. Restarting in %n seconds</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>CCO stopped unexpectedly (%1). Restarting in %n second(s)</source>
        <translation>
            <numerusform>CCO stopped unexpectedly (%1). Restarting in %n second</numerusform>
            <numerusform>CCO stopped unexpectedly (%1). Restarting in %n seconds</numerusform>
        </translation>
    </message>
</context>
</TS>

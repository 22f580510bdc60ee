<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="zh_CN">
<context>
    <name>QObject</name>
    <message>
        <source>无法启动</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Vomo Skyworks</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>

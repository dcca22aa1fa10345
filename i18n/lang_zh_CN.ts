<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>app</name>
    <message>
        <source>Korvane needs a display. Run it on a desktop, or headless with: xvfb-run -a scripts/run</source>
        <translation>Korvane 需要显示器。请在桌面上运行，或无界面运行：xvfb-run -a scripts/run</translation>
    </message>
    <message>
        <source>The web engine could not start.</source>
        <translation>网页引擎无法启动。</translation>
    </message>
</context>
</TS>

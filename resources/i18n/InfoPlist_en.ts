<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>InfoPlist</name>
    <message id="filelist.mode"><source>Mode</source><translation>Mode</translation></message>
    <message id="filelist.date"><source>Date</source><translation>Date</translation></message>
    <message id="filelist.time"><source>Time</source><translation>Time</translation></message>
    <message id="filelist.file"><source>File</source><translation>File</translation></message>
    <message id="media.always"><source>Normal</source><translation>Normal</translation></message>
    <message id="media.motion"><source>Motion</source><translation>Motion</translation></message>
    <message id="media.event"><source>Event</source><translation>Event</translation></message>
    <message id="media.unknown"><source>Unknown</source><translation>Unknown</translation></message>
    <message id="window.title"><source>DAXO Viewer</source><translation>DAXO Viewer</translation></message>
    <message id="menu.file"><source>&amp;File</source><translation>&amp;File</translation></message>
    <message id="menu.open_folder"><source>&amp;Open Folder…</source><translation>&amp;Open Folder…</translation></message>
    <message id="menu.close_window"><source>&amp;Close Window</source><translation>&amp;Close Window</translation></message>
    <message id="menu.quit"><source>&amp;Quit</source><translation>&amp;Quit</translation></message>
    <message id="menu.view"><source>&amp;View</source><translation>&amp;View</translation></message>
    <message id="menu.recordings"><source>&amp;Recordings</source><translation>&amp;Recordings</translation></message>
    <message id="menu.map"><source>&amp;Map</source><translation>&amp;Map</translation></message>
    <message id="dialog.choose_folder"><source>Choose the folder of recordings</source><translation>Choose the folder of recordings</translation></message>
    <message id="side.recordings"><source>Recordings</source><translation>Recordings</translation></message>
    <message id="side.map"><source>Map</source><translation>Map</translation></message>
</context>
</TS>

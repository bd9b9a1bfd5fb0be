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
    <message id="player.cannot_play"><source>This recording cannot be played</source><translation>This recording cannot be played</translation></message>
    <message id="menu.settings"><source>&amp;Settings…</source><translation>&amp;Settings…</translation></message>
    <message id="setting.window_title"><source>Camera Settings</source><translation>Camera Settings</translation></message>
    <message id="setting.video"><source>Video</source><translation>Video</translation></message>
    <message id="setting.basic"><source>Basic</source><translation>Basic</translation></message>
    <message id="setting.gps"><source>GPS</source><translation>GPS</translation></message>
    <message id="setting.aux"><source>Auxiliary</source><translation>Auxiliary</translation></message>
    <message id="setting.park"><source>Parking</source><translation>Parking</translation></message>
    <message id="setting.motion"><source>Motion and Parking</source><translation>Motion and Parking</translation></message>
    <message id="setting.adas"><source>ADAS</source><translation>ADAS</translation></message>
    <message id="setting.audio"><source>Audio</source><translation>Audio</translation></message>
    <message id="setting.driveinfoview"><source>Drive Info</source><translation>Drive Info</translation></message>
    <message id="setting.information"><source>Drive Information</source><translation>Drive Information</translation></message>
    <message id="setting.sdcardformat"><source>Format Card…</source><translation>Format Card…</translation></message>
    <message id="setting.initialize"><source>Reset to Defaults</source><translation>Reset to Defaults</translation></message>
    <message id="save"><source>Save</source><translation>Save</translation></message>
    <message id="cancel"><source>Cancel</source><translation>Cancel</translation></message>
    <message id="msg.saved"><source>The settings were saved. Put the card back into the camera.</source><translation>The settings were saved. Put the card back into the camera.</translation></message>
    <message id="msg.write_protected_disk"><source>The settings could not be written. Is the card locked?</source><translation>The settings could not be written. Is the card locked?</translation></message>
    <message id="msg.file_open_fail"><source>The file could not be opened.</source><translation>The file could not be opened.</translation></message>
    <message id="msg.input_value_invalid_format"><source>Please enter a number.</source><translation>Please enter a number.</translation></message>
    <message id="msg.gsensor_outofrange_fmt"><source>Please enter a value from %1 to %2.</source><translation>Please enter a value from %1 to %2.</translation></message>
    <message id="msg.sdcard_ratio_too_low"><source>Each part of the card needs at least 10 percent.</source><translation>Each part of the card needs at least 10 percent.</translation></message>
    <message id="msg.no_disk_utility"><source>No disk utility is installed (GNOME Disks or KDE Partition Manager).</source><translation>No disk utility is installed (GNOME Disks or KDE Partition Manager).</translation></message>
    <message id="menu.playback"><source>&amp;Playback</source><translation>&amp;Playback</translation></message>
    <message id="menu.play_pause"><source>Play / Pause</source><translation>Play / Pause</translation></message>
    <message id="menu.jump_forward"><source>Forward 10 Seconds</source><translation>Forward 10 Seconds</translation></message>
    <message id="menu.jump_backward"><source>Back 10 Seconds</source><translation>Back 10 Seconds</translation></message>
    <message id="menu.volume_up"><source>Volume Up</source><translation>Volume Up</translation></message>
    <message id="menu.volume_down"><source>Volume Down</source><translation>Volume Down</translation></message>
    <message id="menu.faster"><source>Double Speed</source><translation>Double Speed</translation></message>
    <message id="menu.slower"><source>Normal Speed</source><translation>Normal Speed</translation></message>
    <message id="menu.swap"><source>Exchange Front and Rear</source><translation>Exchange Front and Rear</translation></message>
    <message id="menu.audio_choice"><source>Hear the Other Channel</source><translation>Hear the Other Channel</translation></message>
    <message id="menu.full_screen"><source>Full Screen</source><translation>Full Screen</translation></message>
    <message id="menu.size_up"><source>Bigger</source><translation>Bigger</translation></message>
    <message id="menu.size_down"><source>Smaller</source><translation>Smaller</translation></message>
</context>
</TS>

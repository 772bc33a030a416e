#!/usr/bin/env python3
"""Makes the Windows Installer package of an application folder.

    make-msi.py APP_FOLDER VERSION OUT.msi

One per-user package (no administrator needed) that installs the folder
into %LOCALAPPDATA%\\Programs\\Tarvolen-Merrowick (the program writes its
data, logs, settings and INI files beside itself, so it must live in a
folder its user can write), with a Start-menu folder (the program and its
uninstaller) and a desktop shortcut (DESKTOPSHORTCUT=0 leaves it out).

Upgrades are major upgrades: a newer package first removes the older
product, then installs its own files. What the user made survives:
  - files the program writes (data\\, log\\, option.opt, downloaded
    settings\\*.ini, servers.cfg) are no part of any package, so no
    package ever removes them;
  - the shipped files the user edits (config.ini, setup.ini and the sample
    trading profiles in settings\\) are installed only when missing and are
    never removed by an upgrade (permanent, never-overwrite components).
Uninstalling keeps all of that by default (KEEPDATA=1); with KEEPDATA=0
(the uninstaller's "no") it removes data\\, log\\, settings\\ and the INI
and options files as well.

wixl (msitools) builds the package from generated WiX source; what wixl
cannot express (component attributes and conditions, folders to create and
remove, the data removal) is added to its tables afterwards with msibuild.
"""
import os
import subprocess
import sys
import tempfile
import uuid
from xml.sax.saxutils import quoteattr

PRODUCT = "Tarvolen-Merrowick"
# ASCII: wixl cannot put other text into the summary information.
MANUFACTURER = "Tarvolen-Merrowick"
# Never changes: it ties every version of the product together.
UPGRADE_CODE = "5B0C7E0E-6A43-4C38-9D8E-5F2A1C6B7D10"
NAMESPACE = uuid.UUID(UPGRADE_CODE)
# Shipped files the user edits: installed when missing, never replaced or
# removed by an upgrade.
USER_FILES = {"config.ini", "setup.ini", "servers.cfg", "option.opt", "drasken.ini"}
USER_FOLDERS = {"settings"}
# The folders the program expects and never creates itself.
PROGRAM_FOLDERS = ["data", "log", "res", "settings"]
# The account service's library ships with the vendor's software, not here
# (a build folder may hold a stand-in for it). The quote engine drasken.dll
# is ours and ships.
NOT_SHIPPED = {"velmora.dll"}
# What the program writes as it runs never ships, even when a run left it
# in the folder: the options record and everything in data\ and log\.
RUNTIME_FILES = {"option.opt"}
RUNTIME_FOLDERS = {"data", "log"}


def guid(*parts):
    return "{" + str(uuid.uuid5(NAMESPACE, "/".join(parts))).upper() + "}"


def is_user_file(rel):
    top = rel.split("/")[0]
    return rel in USER_FILES or (top in USER_FOLDERS and rel != top)


def collect(app):
    files = []
    for root, dirs, names in os.walk(app):
        dirs.sort()
        for name in sorted(names):
            rel = os.path.relpath(os.path.join(root, name), app).replace(os.sep, "/")
            if name in NOT_SHIPPED or name.startswith(".") or rel in RUNTIME_FILES:
                continue
            if rel.split("/")[0] in RUNTIME_FOLDERS:
                continue
            files.append(rel)
    return files


def wxs(app, version, files):
    dir_ids = {"": "INSTALLDIR"}
    for f in PROGRAM_FOLDERS:
        dir_ids[f] = "Dir_" + f
    for rel in files:
        parts = rel.split("/")[:-1]
        for i in range(1, len(parts) + 1):
            sub = "/".join(parts[:i])
            dir_ids.setdefault(sub, "Dir_%d" % len(dir_ids))

    def parent(d):
        return d.rsplit("/", 1)[0] if "/" in d else ""

    def tree(prefix, indent):
        out = []
        for sub in sorted(d for d in dir_ids if d and parent(d) == prefix):
            out.append("%s<Directory Id=\"%s\" Name=%s>" % (indent, dir_ids[sub], quoteattr(sub.rsplit("/", 1)[-1])))
            out += tree(sub, indent + "  ")
            out.append("%s</Directory>" % indent)
        return out

    comps, user_comps, refs = [], [], []
    for n, rel in enumerate(files):
        folder = rel.rsplit("/", 1)[0] if "/" in rel else ""
        cid, fid = "C_%d" % n, "F_%d" % n
        if rel == "quorvel.exe":
            cid, fid = "C_Program", "F_Program"
        if rel == "uninstall.exe":
            fid = "F_Uninstall"
        comps.append(
            '    <DirectoryRef Id="%s"><Component Id="%s" Guid="%s"><File Id="%s" Source=%s KeyPath="yes"/></Component></DirectoryRef>'
            % (dir_ids[folder], cid, guid("file", rel), fid, quoteattr(rel)))
        refs.append(cid)
        if is_user_file(rel):
            user_comps.append(cid)
    if "C_Program" not in refs:
        sys.exit("make-msi: %s has no quorvel.exe" % app)
    has_uninstaller = "uninstall.exe" in files

    reg = '<RegistryValue Root="HKCU" Key="Software\\%s" Name="%%s" Type="string" Value="[INSTALLDIR]" KeyPath="yes"/>' % PRODUCT
    menu = ['      <Component Id="C_Menu" Guid="%s">' % guid("menu"),
            '        <Shortcut Id="S_Program" Name="%s" Target="[INSTALLDIR]quorvel.exe" WorkingDirectory="INSTALLDIR"/>' % PRODUCT]
    if has_uninstaller:
        menu.append('        <Shortcut Id="S_Uninstall" Name="Uninstall %s" Target="[INSTALLDIR]uninstall.exe" Arguments="[ProductCode]" WorkingDirectory="INSTALLDIR"/>' % PRODUCT)
    menu += ["        " + reg % "InstallDir", "      </Component>"]
    desk = ['      <Component Id="C_Desktop" Guid="%s">' % guid("desktop"),
            '        <Shortcut Id="S_Desktop" Name="%s" Target="[INSTALLDIR]quorvel.exe" WorkingDirectory="INSTALLDIR"/>' % PRODUCT,
            "        " + reg % "DesktopShortcut", "      </Component>"]
    refs += ["C_Menu", "C_Desktop"]

    return "\n".join([
        '<?xml version="1.0" encoding="utf-8"?>',
        '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
        '  <Product Id="%s" Name="%s" Manufacturer=%s Version="%s" Language="2052" Codepage="936" UpgradeCode="{%s}">'
        % (guid("product", version), PRODUCT, quoteattr(MANUFACTURER), version, UPGRADE_CODE),
        '    <Package InstallerVersion="500" Compressed="yes" InstallScope="perUser" Description="%s %s" Comments="%s"/>'
        % (PRODUCT, version, PRODUCT),
        '    <Media Id="1" Cabinet="app.cab" EmbedCab="yes"/>',
        '    <MajorUpgrade DowngradeErrorMessage="A newer version is installed."/>',
        '    <Property Id="KEEPDATA" Value="1"/>',
        '    <Property Id="DESKTOPSHORTCUT" Value="1"/>',
        '    <Property Id="ARPNOMODIFY" Value="1"/>',
        # A package started by hand goes where the product already is.
        '    <Property Id="INSTALLDIR"><RegistrySearch Id="FindInstallDir" Root="HKCU" Key="Software\\%s" Name="InstallDir" Type="raw"/></Property>' % PRODUCT,
        '    <Directory Id="TARGETDIR" Name="SourceDir">',
        '      <Directory Id="LocalAppDataFolder"><Directory Id="ProgramsFolder" Name="Programs">',
        '        <Directory Id="INSTALLDIR" Name="%s">' % PRODUCT,
    ] + tree("", "          ") + [
        '        </Directory>',
        '      </Directory></Directory>',
        '      <Directory Id="ProgramMenuFolder"><Directory Id="MenuDir" Name="%s"/></Directory>' % PRODUCT,
        '      <Directory Id="DesktopFolder"/>',
        '    </Directory>',
    ] + comps + [
        '    <DirectoryRef Id="MenuDir">',
    ] + menu + [
        '    </DirectoryRef>',
        '    <DirectoryRef Id="DesktopFolder">',
    ] + desk + [
        '    </DirectoryRef>',
        '    <Feature Id="Program" Level="1">',
    ] + ['      <ComponentRef Id="%s"/>' % r for r in refs] + [
        '    </Feature>',
        '  </Product>',
        '</Wix>',
        '',
    ]), user_comps


# When the user's data goes: a real uninstall (not the removal of the old
# version by an upgrade) with KEEPDATA=0.
REMOVE_DATA_IF = 'REMOVE="ALL" AND NOT UPGRADINGPRODUCTCODE AND KEEPDATA="0"'


def table_edits(user_comps):
    # Chinese texts: wixl writes only ASCII, so they come in here, after the
    # database was given the Chinese code page.
    q = ["UPDATE `Shortcut` SET `Name` = '卸载 %s' WHERE `Shortcut` = 'S_Uninstall'" % PRODUCT,
         "UPDATE `LaunchCondition` SET `Description` = '已经安装了更新版本的 %s。' WHERE `Condition` = 'NOT WIX_DOWNGRADE_DETECTED'" % PRODUCT]
    for c in user_comps:  # msidbComponentAttributesPermanent | NeverOverwrite
        q.append("UPDATE `Component` SET `Attributes` = 144 WHERE `Component` = '%s'" % c)
    q.append("UPDATE `Component` SET `Condition` = 'DESKTOPSHORTCUT=\"1\"' WHERE `Component` = 'C_Desktop'")
    for f in PROGRAM_FOLDERS:
        q.append("INSERT INTO `CreateFolder` (`Directory_`, `Component_`) VALUES ('Dir_%s', 'C_Program')" % f)
    # Folders left empty at uninstall go (one with the user's files in it stays).
    for key, d in [("RmMenu", "MenuDir"), ("RmInstallDir", "INSTALLDIR")] + [("Rm_" + f, "Dir_" + f) for f in PROGRAM_FOLDERS]:
        comp = "C_Menu" if d == "MenuDir" else "C_Program"
        q.append("INSERT INTO `RemoveFile` (`FileKey`, `Component_`, `DirProperty`, `InstallMode`) VALUES ('%s', '%s', '%s', 2)"
                 % (key, comp, d))
    q += ["INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RemoveFolders', 3600)",
          "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('CreateFolders', 3700)"]
    # The user's data goes through the command processor: Windows Installer's
    # own file removal takes no folders with contents it does not know.
    folder = lambda name: '"[INSTALLDIR]%s"' % name
    steps = ['if exist %s rd /s /q %s' % (folder(d), folder(d)) for d in ("data", "log", "settings")]
    steps += ['if exist %s del /f /q %s' % (folder(f), folder(f)) for f in sorted(USER_FILES)]
    command = '"[%ComSpec]" /c ' + " & ".join(steps)
    # Type 34 (a program run in a folder), deferred (1024): run in the
    # installation script after the program files are gone.
    q.append("INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RemoveUserData', 1058, 'INSTALLDIR', '%s')"
             % command.replace("'", "''"))
    q.append("INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('RemoveUserData', '%s', 3550)"
             % REMOVE_DATA_IF.replace("'", "''"))
    return q


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.split("\n\n")[1])
    app, version, out = sys.argv[1:]
    app, out = os.path.abspath(app), os.path.abspath(out)
    files = collect(app)
    source, user_comps = wxs(app, version, files)
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "quorvel.wxs")
        with open(path, "w", encoding="utf-8") as f:
            f.write(source)
        partial = out + ".part"
        # wixl takes the sources relative to where it runs.
        subprocess.run(["wixl", "-o", os.path.abspath(partial), path], check=True, cwd=app)
        codepage = os.path.join(tmp, "_ForceCodepage.idt")
        with open(codepage, "w", newline="") as f:
            f.write("\r\n\r\n936\t_ForceCodepage\r\n")
        subprocess.run(["msibuild", partial, "-i", codepage], check=True)
        edits = []
        for q in table_edits(user_comps):
            edits += ["-q", q]
        subprocess.run(["msibuild", partial] + edits, check=True)
        os.replace(partial, out)
    print("make-msi: %s %s: %d files -> %s" % (PRODUCT, version, len(files), out))


if __name__ == "__main__":
    main()

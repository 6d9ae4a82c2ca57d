#!/usr/bin/python3
"""A stand-in for the desktop services Tellamo talks to over D-Bus, for tests on a private bus.

Usage: desktop-portal-standin.py --bus ADDRESS --log FILE [--portal] [--no-shortcuts] [--logind]

--portal      owns org.freedesktop.portal.Desktop with the Inhibit and GlobalShortcuts interfaces
              (with --no-shortcuts its version property is missing, as
              on a portal without it)
--logind      owns org.freedesktop.login1 with Manager.Inhibit (use it on the bus that plays the
              system bus)

Every call is appended to the log file as one line, flushed at once:
  ready
  inhibit flags=4 reason=... handle=/org/.../request/...
  close /org/.../request/...
  create-session options=handle_token:...,session_handle_token:... session=/org/...
  bind session=/org/... shortcuts=record:description:...;preferred_trigger:CTRL+SHIFT+r|stop:...
  logind-inhibit what=sleep who=Tellamo why=... mode=block
  logind-released          (the descriptor handed out was closed by every holder)
The test presses a shortcut by calling org.tellamo.Standin.Activate(s id) on the portal's
object: the Activated signal goes to the last session created; ActivateIn(s session, s id)
names the session.
"""
import argparse
import os
import sys
import time

import dbus
import dbus.bus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL_PATH = '/org/freedesktop/portal/desktop'
REQUEST = 'org.freedesktop.portal.Request'
SESSION = 'org.freedesktop.portal.Session'
SHORTCUTS = 'org.freedesktop.portal.GlobalShortcuts'
INHIBIT = 'org.freedesktop.portal.Inhibit'
PROPERTIES = 'org.freedesktop.DBus.Properties'

args = None
log_file = None


def log(line):
    log_file.write(line + '\n')
    log_file.flush()


def sender_part(sender):
    return sender[1:].replace('.', '_')


def plain(value):
    """A D-Bus value as short text: a{sv} as key:value,... sorted by key."""
    if isinstance(value, dict):
        return ','.join('%s:%s' % (k, plain(value[k])) for k in sorted(value))
    return str(value)


class Request(dbus.service.Object):
    def __init__(self, bus, path, on_close=None):
        super().__init__(bus, path)
        self.path = path
        self.on_close = on_close

    @dbus.service.method(REQUEST, in_signature='', out_signature='')
    def Close(self):
        log('close ' + self.path)
        self.remove_from_connection()

    @dbus.service.signal(REQUEST, signature='ua{sv}')
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.path = path

    @dbus.service.method(SESSION, in_signature='', out_signature='')
    def Close(self):
        log('close-session ' + self.path)
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PORTAL_PATH)
        self.bus = bus
        self.count = 0
        self.session = None
        self.bound = []

    def new_request(self, sender, options):
        self.count += 1
        token = str(options.get('handle_token', 't%d' % self.count))
        path = '%s/request/%s/%s' % (PORTAL_PATH, sender_part(sender), token)
        return Request(self.bus, path)

    # Inhibit
    @dbus.service.method(INHIBIT, in_signature='sua{sv}', out_signature='o', sender_keyword='sender')
    def Inhibit(self, window, flags, options, sender=None):
        # A portal that is slow to start answers after the caller has stopped waiting.
        time.sleep(args.inhibit_delay)
        request = self.new_request(sender, options)
        log('inhibit flags=%d reason=%s handle=%s' % (flags, options.get('reason', ''), request.path))
        return dbus.ObjectPath(request.path)

    # GlobalShortcuts
    @dbus.service.method(SHORTCUTS, in_signature='a{sv}', out_signature='o', sender_keyword='sender')
    def CreateSession(self, options, sender=None):
        request = self.new_request(sender, options)
        token = str(options.get('session_handle_token', 's%d' % self.count))
        path = '%s/session/%s/%s' % (PORTAL_PATH, sender_part(sender), token)
        self.session = Session(self.bus, path)
        log('create-session options=%s session=%s' % (plain(options), path))
        # The answer comes after the call has returned, as the real portal's does.
        GLib.idle_add(lambda: request.Response(
            dbus.UInt32(0), {'session_handle': dbus.String(path, variant_level=1)}) and False)
        return dbus.ObjectPath(request.path)

    @dbus.service.method(SHORTCUTS, in_signature='oa(sa{sv})sa{sv}', out_signature='o',
                         sender_keyword='sender')
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender=None):
        request = self.new_request(sender, options)
        text = '|'.join('%s:%s' % (sid, plain(props).replace(',', ';')) for sid, props in shortcuts)
        log('bind session=%s shortcuts=%s' % (session, text))
        self.bound = [(sid, props) for sid, props in shortcuts]
        results = dbus.Array([dbus.Struct((sid, dict(props, trigger_description=dbus.String(
            props.get('preferred_trigger', ''), variant_level=1))), signature='sa{sv}')
            for sid, props in shortcuts], signature='(sa{sv})')
        GLib.idle_add(lambda: request.Response(
            dbus.UInt32(0), {'shortcuts': dbus.Array(results, variant_level=1)}) and False)
        return dbus.ObjectPath(request.path)

    @dbus.service.signal(SHORTCUTS, signature='osta{sv}')
    def Activated(self, session_handle, shortcut_id, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature='osta{sv}')
    def Deactivated(self, session_handle, shortcut_id, timestamp, options):
        pass

    # The test's own control
    @dbus.service.method('org.tellamo.Standin', in_signature='s', out_signature='b')
    def Activate(self, shortcut_id):
        if self.session is None:
            return False
        return self.ActivateIn(self.session.path, shortcut_id)

    @dbus.service.method('org.tellamo.Standin', in_signature='ss', out_signature='b')
    def ActivateIn(self, session_path, shortcut_id):
        """As a portal that still reports a session the program has given up would."""
        log('activate %s in %s' % (shortcut_id, session_path))
        self.Activated(dbus.ObjectPath(session_path), shortcut_id, dbus.UInt64(1), {})
        self.Deactivated(dbus.ObjectPath(session_path), shortcut_id, dbus.UInt64(2), {})
        return True

    # Properties: the interfaces' versions
    def versions(self, interface):
        if interface == SHORTCUTS and not args.no_shortcuts:
            return {'version': dbus.UInt32(1)}
        if interface == INHIBIT:
            return {'version': dbus.UInt32(3)}
        raise dbus.exceptions.DBusException('No such interface ' + interface,
                                            name='org.freedesktop.DBus.Error.UnknownInterface')

    @dbus.service.method(PROPERTIES, in_signature='ss', out_signature='v')
    def Get(self, interface, name):
        values = self.versions(interface)
        if name not in values:
            raise dbus.exceptions.DBusException('No such property ' + name,
                                                name='org.freedesktop.DBus.Error.UnknownProperty')
        return values[name]

    @dbus.service.method(PROPERTIES, in_signature='s', out_signature='a{sv}')
    def GetAll(self, interface):
        return self.versions(interface)


class Logind(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, '/org/freedesktop/login1')

    @dbus.service.method('org.freedesktop.login1.Manager', in_signature='ssss', out_signature='h')
    def Inhibit(self, what, who, why, mode):
        log('logind-inhibit what=%s who=%s why=%s mode=%s' % (what, who, why, mode))
        read_end, write_end = os.pipe()

        def hung_up(fd, condition):
            log('logind-released')
            os.close(fd)
            return False

        GLib.io_add_watch(read_end, GLib.IO_HUP | GLib.IO_ERR, hung_up)
        answer = dbus.types.UnixFd(write_end)
        os.close(write_end)  # the message holds its own copy
        return answer


def main():
    global args, log_file
    parser = argparse.ArgumentParser()
    parser.add_argument('--bus', required=True)
    parser.add_argument('--log', required=True)
    parser.add_argument('--portal', action='store_true')
    parser.add_argument('--no-shortcuts', action='store_true')
    parser.add_argument('--logind', action='store_true')
    parser.add_argument('--inhibit-delay', type=float, default=0)
    args = parser.parse_args()
    log_file = open(args.log, 'a', buffering=1)
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(args.bus)
    keep = []
    if args.portal:
        keep.append(dbus.service.BusName('org.freedesktop.portal.Desktop', bus))
        keep.append(Portal(bus))
    if args.logind:
        keep.append(dbus.service.BusName('org.freedesktop.login1', bus))
        keep.append(Logind(bus))
    log('ready')
    GLib.MainLoop().run()


if __name__ == '__main__':
    sys.exit(main())

#!/usr/bin/python3
"""A Modbus RTU server made of a third-party library's framer, decoder and register store, on a
pseudo-terminal: the peer for checking that standard answers pass our validation. Prints the
terminal's path, then serves units 1 and 2 until standard input closes or a signal ends it."""

import os
import select
import sys
import termios
import tty

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.factory import ServerDecoder
from pymodbus.framer.rtu_framer import ModbusRtuFramer


def unit():
    # Registers hold their own numbers, so that an answer shows which registers it carries.
    block = lambda: ModbusSequentialDataBlock(0, list(range(3000)))
    return ModbusSlaveContext(di=block(), co=block(), hr=block(), ir=block(), zero_mode=True)


def main():
    master, client = os.openpty()
    tty.setraw(client)
    attrs = termios.tcgetattr(client)
    attrs[3] &= ~termios.ECHO
    termios.tcsetattr(client, termios.TCSANOW, attrs)
    print(os.ttyname(client), flush=True)

    context = ModbusServerContext(slaves={1: unit(), 2: unit()}, single=False)
    framer = ModbusRtuFramer(ServerDecoder())

    def answer(request):
        response = request.execute(context[request.unit_id])
        response.unit_id = request.unit_id
        response.transaction_id = request.transaction_id
        os.write(master, framer.buildPacket(response))

    while True:
        ready, _, _ = select.select([master, sys.stdin], [], [])
        if sys.stdin in ready and not os.read(sys.stdin.fileno(), 1):
            return
        if master in ready:
            framer.processIncomingPacket(os.read(master, 512), answer, unit=[1, 2], single=False)


if __name__ == "__main__":
    main()

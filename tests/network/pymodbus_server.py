#!/usr/bin/python3
"""pymodbus's TCP server as an independent peer of the tests.

Serves one unit with the holding registers, coils and input registers given
on the command line, with the RTU framer (as a serial device server passes
RTU frames over TCP) or the socket framer (Modbus TCP), on 127.0.0.1 at a
port the system picks. Prints "pymodbus HOST:PORT" once it listens.

    pymodbus_server.py --framer rtu|socket --unit 7 --holding 100=17,18,19 --coils 0=1,0,1
"""
import argparse
import asyncio
import logging
import signal
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.server.async_io import ModbusTcpServer


def block(text):
    """'100=17,18,19' -> registers from 100 on; a block of 2000 around them."""
    values = [0] * 2000
    if text:
        start, _, listed = text.partition("=")
        for i, v in enumerate(listed.split(",")):
            values[int(start) + i] = int(v, 0)
    return ModbusSequentialDataBlock(0, values)


async def serve(args):
    unit = ModbusSlaveContext(hr=block(args.holding), co=block(args.coils), di=block(args.inputs),
                              ir=block(args.input_registers), zero_mode=True)
    context = ModbusServerContext(slaves={args.unit: unit}, single=False)
    framer = ModbusRtuFramer if args.framer == "rtu" else ModbusSocketFramer
    server = ModbusTcpServer(context, framer, address=("127.0.0.1", 0), allow_reuse_address=True)
    task = asyncio.create_task(server.serve_forever())
    while server.server is None:
        await asyncio.sleep(0.01)
    host, port = server.server.sockets[0].getsockname()[:2]
    print(f"pymodbus {host}:{port}", flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    await stop.wait()
    await server.shutdown()
    task.cancel()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--framer", choices=["rtu", "socket"], required=True)
    parser.add_argument("--unit", type=int, default=1)
    parser.add_argument("--holding", default="")
    parser.add_argument("--coils", default="")
    parser.add_argument("--inputs", default="")
    parser.add_argument("--input-registers", default="")
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    asyncio.run(serve(args))
    return 0


if __name__ == "__main__":
    sys.exit(main())

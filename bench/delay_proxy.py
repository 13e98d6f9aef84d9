"""A delay line for FTP on loopback: listens on 127.0.0.1, forwards to an FTP
server, and holds every chunk for half the round-trip time in each direction.
The interop tests use it to make late replies the normal case. It relays
bytes, answering connects itself, so the server never sees the delay: the
benchmark measures over bench/delay_line, which delays packets instead.

The control connection is read line by line; a 227 or 229 reply to PASV or
EPSV is rewritten to a port of the proxy's own, which forwards (with the same
delay) to the server's data port, so data connections are delayed too.

    delay_proxy.py SERVER_PORT RTT_MS      prints "PORT n" once listening
"""
import asyncio
import re
import sys
import time

CHUNK = 256 * 1024
QUEUE_CHUNKS = 256   # at most 64 MiB in flight per direction: the line has a size
EPSV = re.compile(rb"^229 (.*)\(\|\|\|(\d+)\|\)")
PASV = re.compile(rb"^227 .*?(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)")


class Line:
    """One direction: chunks leave `delay` seconds after they arrived, in order."""

    def __init__(self, reader, writer, delay, rewrite=None):
        self.reader, self.writer, self.delay, self.rewrite = reader, writer, delay, rewrite
        self.queue = asyncio.Queue(QUEUE_CHUNKS)

    async def take(self):
        pending = b""
        while True:
            data = await self.reader.read(CHUNK)
            if not data:
                break
            if self.rewrite:
                pending += data
                *lines, pending = pending.split(b"\n")
                data = b"".join([await self.rewrite(line + b"\n") for line in lines])
                if not data:
                    continue
            await self.queue.put((time.monotonic() + self.delay, data))
        await self.queue.put((time.monotonic() + self.delay, None))

    async def give(self):
        while True:
            due, data = await self.queue.get()
            wait = due - time.monotonic()
            if wait > 0:
                await asyncio.sleep(wait)
            if data is None:
                break
            self.writer.write(data)
            await self.writer.drain()
        try:
            self.writer.write_eof()
        except OSError:
            pass

    async def run(self):
        await asyncio.gather(self.take(), self.give(), return_exceptions=True)


async def pipe(client_reader, client_writer, server_port, delay, rewrite=None):
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", server_port)
    except OSError:
        client_writer.close()
        return
    up = Line(client_reader, server_writer, delay)
    down = Line(server_reader, client_writer, delay, rewrite)
    await asyncio.gather(up.run(), down.run())
    for writer in (server_writer, client_writer):
        writer.close()


async def data_port(server_port, delay):
    """A one-time listener that forwards to the server's data port."""

    async def accept(reader, writer):
        listener.close()
        await pipe(reader, writer, server_port, delay)

    listener = await asyncio.start_server(accept, "127.0.0.1", 0)
    return listener.sockets[0].getsockname()[1]


def control_handler(server_port, delay):
    async def rewrite(line):
        epsv = EPSV.match(line)
        if epsv:
            port = await data_port(int(epsv.group(2)), delay)
            return b"229 %s(|||%d|)\r\n" % (epsv.group(1), port)
        pasv = PASV.match(line)
        if pasv:
            port = await data_port(int(pasv.group(5)) * 256 + int(pasv.group(6)), delay)
            return b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (port // 256, port % 256)
        return line

    async def handle(reader, writer):
        await pipe(reader, writer, server_port, delay, rewrite)

    return handle


def quiet(loop, context):
    """A peer that hangs up mid-transfer is the client's business, not ours."""
    if not isinstance(context.get("exception"), (ConnectionError, OSError)):
        loop.default_exception_handler(context)


async def main():
    asyncio.get_running_loop().set_exception_handler(quiet)
    server_port, rtt_ms = int(sys.argv[1]), float(sys.argv[2])
    server = await asyncio.start_server(control_handler(server_port, rtt_ms / 2000), "127.0.0.1", 0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass

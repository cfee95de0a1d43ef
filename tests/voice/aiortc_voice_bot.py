#!/usr/bin/python3
# A voice-room member on aiortc for the interop tests and benchmarks: signs in
# to the dev server's real-time channel with a session cookie, joins voice, sends
# a sine tone and prints "READY <sid>", then "HEARD <peer sid> <Hz>" every
# second for each peer. ICE on 127.0.0.1 only, no STUN. Needs Debian's
# python3-aiortc, python3-numpy and python3-socketio.

import argparse
import asyncio
import fractions
import math
import sys

import aioice.ice
import numpy
import socketio
from aiortc import RTCConfiguration, RTCPeerConnection, RTCSessionDescription
from aiortc.mediastreams import MediaStreamError, MediaStreamTrack
from aiortc.sdp import candidate_from_sdp

import av

# Loopback only: aioice leaves 127.0.0.1 out of its host candidates.
aioice.ice.get_host_addresses = lambda use_ipv4, use_ipv6: ["127.0.0.1"] if use_ipv4 else []

RATE = 48000
FRAME = 960


class ToneTrack(MediaStreamTrack):
    # 20 ms frames of a sine tone, paced in real time.
    kind = "audio"

    def __init__(self, frequency, amplitude):
        super().__init__()
        self.frequency, self.amplitude, self.sample, self.start = frequency, amplitude, 0, None

    async def recv(self):
        now = asyncio.get_event_loop().time()
        self.start = now if self.start is None else self.start
        await asyncio.sleep(max(0.0, self.start + self.sample / RATE - now))
        t = (numpy.arange(FRAME) + self.sample) / RATE
        pcm = (self.amplitude * numpy.sin(2 * math.pi * self.frequency * t)).astype(numpy.int16)
        frame = av.AudioFrame.from_ndarray(pcm.reshape(1, -1), format="s16", layout="mono")
        frame.sample_rate, frame.pts, frame.time_base = RATE, self.sample, fractions.Fraction(1, RATE)
        self.sample += FRAME
        return frame


def dominant_frequency(samples):
    spectrum = numpy.abs(numpy.fft.rfft(samples * numpy.hanning(len(samples))))
    return (5 + int(numpy.argmax(spectrum[5:]))) * RATE / len(samples)


class Bot:
    def __init__(self, args):
        self.args = args
        self.sio = socketio.AsyncClient(reconnection=False)
        self.peers = {}
        for name in ("voice_existing_users", "voice_user_joined", "voice_offer", "voice_answer", "voice_ice_candidate"):
            self.sio.on(name, getattr(self, "on_" + name))

    def new_peer(self, sid):
        pc = self.peers[sid] = RTCPeerConnection(RTCConfiguration(iceServers=[]))
        pc.addTrack(ToneTrack(self.args.tone, 8000))

        @pc.on("track")
        def on_track(track):
            if track.kind == "audio":
                asyncio.ensure_future(self.listen(sid, track))

        return pc

    async def listen(self, sid, track):
        collected = []
        try:
            while True:
                frame = await track.recv()
                pcm = frame.to_ndarray().astype(numpy.float64)
                collected.append(pcm.reshape(-1, len(frame.layout.channels)).mean(axis=1))
                if sum(len(c) for c in collected) >= RATE:
                    samples = numpy.concatenate(collected)[:RATE]
                    print("HEARD", sid, "%.1f" % dominant_frequency(samples), flush=True)
                    collected = []
        except MediaStreamError:
            pass

    def wanted(self, username):
        return not self.args.talk_to or username == self.args.talk_to

    async def send_description(self, event, sid, pc):
        description = {"type": pc.localDescription.type, "sdp": pc.localDescription.sdp}
        await self.sio.emit(event, {"targetSid": sid, event.removeprefix("voice_"): description})

    async def on_voice_existing_users(self, users):
        for sid in [u.get("sid") for u in users or [] if u.get("sid") and self.wanted(u.get("username"))]:
            pc = self.new_peer(sid)
            await pc.setLocalDescription(await pc.createOffer())
            await self.send_description("voice_offer", sid, pc)

    async def on_voice_user_joined(self, data):
        sid = data.get("sid")
        if sid and sid not in self.peers and self.wanted(data.get("username")):
            self.new_peer(sid)  # the newcomer offers

    async def on_voice_offer(self, data):
        sid = data.get("fromSid")
        pc = self.peers.get(sid) or self.new_peer(sid)
        await pc.setRemoteDescription(RTCSessionDescription(sdp=data["offer"]["sdp"], type="offer"))
        await pc.setLocalDescription(await pc.createAnswer())
        await self.send_description("voice_answer", sid, pc)

    async def on_voice_answer(self, data):
        if pc := self.peers.get(data.get("fromSid")):
            await pc.setRemoteDescription(RTCSessionDescription(sdp=data["answer"]["sdp"], type="answer"))

    async def on_voice_ice_candidate(self, data):
        pc = self.peers.get(data.get("fromSid"))
        info = data.get("candidate") or {}
        text = (info.get("candidate") or "").strip()
        if not pc or not text:
            return
        candidate = candidate_from_sdp(text.removeprefix("a=").removeprefix("candidate:"))
        candidate.sdpMid = info.get("sdpMid")
        if candidate.sdpMid not in [t.mid for t in pc.getTransceivers()] + [None]:
            candidate.sdpMid = None
            candidate.sdpMLineIndex = 0
        try:
            await pc.addIceCandidate(candidate)
        except Exception as error:  # a candidate aiortc cannot use is not fatal
            print("candidate ignored:", error, file=sys.stderr)

    async def run(self):
        await self.sio.connect(self.args.server, headers={"Cookie": self.args.cookie}, transports=["websocket"])
        print("READY", self.sio.sid, flush=True)
        await self.sio.emit("voice_join")
        await asyncio.sleep(self.args.seconds)
        await self.sio.emit("voice_leave")
        for pc in list(self.peers.values()):
            await pc.close()
        await self.sio.disconnect()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--cookie", required=True)
    parser.add_argument("--tone", type=float, default=660.0)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--talk-to", default="", help="connect to this member only")
    asyncio.run(Bot(parser.parse_args()).run())

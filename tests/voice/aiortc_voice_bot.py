#!/usr/bin/python3
"""A voice-room member on aiortc for the interop tests and benchmarks: signs in
to the dev server's real-time channel with a session cookie, joins voice, sends
a sine tone and prints "READY <sid>", then "HEARD <peer sid> <Hz> <rms>" every
second for each peer. ICE on 127.0.0.1 only, no STUN. Needs Debian's
python3-aiortc, python3-numpy and python3-socketio."""

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


def say(*words):
    print(*words, flush=True)


class ToneTrack(MediaStreamTrack):
    """20 ms frames of a sine tone, paced in real time."""

    kind = "audio"

    def __init__(self, frequency, amplitude):
        super().__init__()
        self.frequency = frequency
        self.amplitude = amplitude
        self.sample = 0
        self.start = None

    async def recv(self):
        loop = asyncio.get_event_loop()
        if self.start is None:
            self.start = loop.time()
        due = self.start + self.sample / RATE
        delay = due - loop.time()
        if delay > 0:
            await asyncio.sleep(delay)
        t = (numpy.arange(FRAME) + self.sample) / RATE
        pcm = (self.amplitude * numpy.sin(2 * math.pi * self.frequency * t)).astype(numpy.int16)
        frame = av.AudioFrame.from_ndarray(pcm.reshape(1, -1), format="s16", layout="mono")
        frame.sample_rate = RATE
        frame.pts = self.sample
        frame.time_base = fractions.Fraction(1, RATE)
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
        self.allowed = set()
        for name in ("voice_existing_users", "voice_user_joined", "voice_offer", "voice_answer",
                     "voice_ice_candidate"):
            self.sio.on(name, getattr(self, "on_" + name))

    def new_peer(self, sid):
        pc = RTCPeerConnection(RTCConfiguration(iceServers=[]))
        self.peers[sid] = pc
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
                channels = len(frame.layout.channels)
                collected.append(frame.to_ndarray().astype(numpy.float64).reshape(-1, channels).mean(axis=1))
                if sum(len(c) for c in collected) >= RATE:
                    samples = numpy.concatenate(collected)[:RATE]
                    rms = float(numpy.sqrt(numpy.mean(samples ** 2)))
                    say("HEARD", sid, "%.1f" % dominant_frequency(samples), "%.0f" % rms)
                    collected = []
        except MediaStreamError:
            pass

    def wanted(self, username):
        return not self.args.talk_to or username == self.args.talk_to

    async def send_description(self, event, sid, pc):
        key = "offer" if event == "voice_offer" else "answer"
        await self.sio.emit(event, {"targetSid": sid,
                                    key: {"type": pc.localDescription.type, "sdp": pc.localDescription.sdp}})

    async def on_voice_existing_users(self, users):
        for user in users or []:
            sid = user.get("sid")
            if not sid or not self.wanted(user.get("username")):
                continue
            self.allowed.add(sid)
            pc = self.new_peer(sid)
            await pc.setLocalDescription(await pc.createOffer())
            await self.send_description("voice_offer", sid, pc)

    async def on_voice_user_joined(self, data):
        sid = data.get("sid")
        if sid and sid not in self.peers and self.wanted(data.get("username")):
            self.allowed.add(sid)
            self.new_peer(sid)  # the newcomer offers

    async def on_voice_offer(self, data):
        sid = data.get("fromSid")
        if self.args.talk_to and sid not in self.allowed:
            return
        pc = self.peers.get(sid) or self.new_peer(sid)
        offer = data.get("offer") or {}
        await pc.setRemoteDescription(RTCSessionDescription(sdp=offer["sdp"], type=offer.get("type", "offer")))
        await pc.setLocalDescription(await pc.createAnswer())
        await self.send_description("voice_answer", sid, pc)

    async def on_voice_answer(self, data):
        pc = self.peers.get(data.get("fromSid"))
        answer = data.get("answer") or {}
        if pc:
            await pc.setRemoteDescription(RTCSessionDescription(sdp=answer["sdp"], type=answer.get("type", "answer")))

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
        say("READY", self.sio.sid)
        await self.sio.emit("voice_join")
        await asyncio.sleep(self.args.seconds)
        await self.sio.emit("voice_leave")
        for pc in list(self.peers.values()):
            await pc.close()
        await self.sio.disconnect()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--server", required=True)
    parser.add_argument("--cookie", required=True)
    parser.add_argument("--tone", type=float, default=660.0)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--talk-to", default="", help="connect to this member only")
    args = parser.parse_args()
    asyncio.run(Bot(args).run())


if __name__ == "__main__":
    main()

"""The demo community: fixed members, a day of chat, ideas with likes, scores.

The content is always the same; chat and idea times are placed relative to
the moment of seeding so that the chat history is always "the last day".
Every demo member's password is DEMO_PASSWORD.
"""

from __future__ import annotations

import time
from dataclasses import dataclass
from datetime import datetime

from .security import hash_password
from .store import Store

DEMO_PASSWORD = "moonlodge"


@dataclass(frozen=True)
class DemoMember:
    username: str
    status: str
    profile_image: str
    description: str
    member_since: str      # ISO date
    earlier_messages: int  # messages sent before the retained chat window
    best_score: int | None


MEMBERS = [
    DemoMember("luna", "Online", "cat.png",
               "Keeper of the lodge lanterns. Ask me about moon phases and tea.",
               "2023-01-14", 412, 18450),
    DemoMember("Zoë Star", "Gaming", "sakura.png",
               "Speedrunner, cherry-blossom enjoyer, Nebulite record holder (for now).",
               "2023-02-03", 388, 24780),
    DemoMember("orion", "Away", "fox.png",
               "Night-sky photographer. Usually out with a tripod.",
               "2023-03-21", 157, 9120),
    DemoMember("pixel", "Busy", "frog.png",
               "Drawing sprites one pixel at a time. Commissions closed.",
               "2023-05-09", 203, 15300),
    DemoMember("nova", "Online", "comet.png",
               "New here! Came for the game, stayed for the chat.",
               "2024-11-30", 31, 21010),
    DemoMember("kai", "Gaming", "ghost.png",
               "Boo. I mostly lurk in voice.",
               "2023-08-17", 96, 7777),
    DemoMember("mira", "Away", "panda.png",
               "",
               "2023-10-02", 58, None),
    DemoMember("stella", "Online", "bunny.png",
               "Organiser of the Friday game nights.",
               "2024-02-29", 144, 12640),
    DemoMember("drifter", "Offline", "",
               "Signed up once, never came back.",
               "2024-06-06", 0, None),
]

# (minutes ago, sender, text): spread over the last 24 hours, oldest first.
CHAT = [
    (1430, "luna", "Good evening, lodge! Lanterns are on 🌙"),
    (1405, "stella", "Evening! Who's up for Friday game night planning?"),
    (1390, "Zoë Star", "Me! As long as Nebulite is on the list."),
    (1322, "orion", "Heading out to shoot the Pleiades, back later."),
    (1250, "pixel", "New frog sprite sheet is almost done, 48 frames of hopping."),
    (1190, "kai", "boo"),
    (1105, "nova", "Hi everyone, just joined. This place is cosy!"),
    (1101, "luna", "Welcome nova! Grab a cushion by the fire."),
    (1098, "stella", "Welcome! Friday nights are the best time to drop in."),
    (980, "Zoë Star", "Just hit 24780 in Nebulite. Beat that 😎"),
    (975, "nova", "Challenge accepted."),
    (860, "mira", "Morning? Afternoon? Time zones are hard."),
    (790, "orion", "Back. Got a lovely shot of the moon over the hills."),
    (784, "luna", "Share it in ideas, we need a gallery page!"),
    (700, "pixel", "Anyone know a good palette for night scenes?"),
    (695, "Zoë Star", "Deep violets plus one warm accent, always."),
    (620, "kai", "voice room is open if anyone wants to hang out"),
    (540, "stella", "Reminder: game night poll closes tomorrow."),
    (455, "nova", "Got 21010! So close..."),
    (450, "Zoë Star", "Not close enough 😇"),
    (380, "luna", "Tea break. Chamomile tonight."),
    (300, "mira", "Is the voice room echoing for anyone else?"),
    (296, "kai", "Use headphones, mira 👻"),
    (210, "orion", "Clear skies forecast for the weekend!"),
    (140, "pixel", "Sprite sheet finished. Posting it tomorrow."),
    (95, "stella", "Game night lineup: Nebulite, then trivia."),
    (60, "Zoë Star", "See you all in voice later."),
    (25, "nova", "Practising Nebulite until then."),
    (8, "luna", "Lodge doors stay open all night ✨"),
]

# (days ago, author, title, content, members who liked it)
IDEAS = [
    (41, "luna", "Moon phase calendar",
     "A small widget on the home page showing tonight's moon phase and the next full moon.",
     ["orion", "Zoë Star", "mira", "stella"]),
    (37, "stella", "Friday game nights",
     "A fixed weekly slot where we all play together. Rotating game picks, voted in the chat.",
     ["luna", "Zoë Star", "nova", "kai", "pixel", "orion"]),
    (33, "pixel", "Community sprite jam",
     "One theme a month, everybody draws a 32x32 sprite, the best ones become avatars.",
     ["luna", "nova"]),
    (30, "orion", "Night-sky gallery",
     "A page where members can share astronomy photos, with the date and the place they were taken.",
     ["luna", "stella", "kai"]),
    (26, "Zoë Star", "Nebulite weekly challenge",
     "A new seed every Monday; the best score of the week gets a special badge.",
     ["nova", "stella", "kai", "pixel", "mira"]),
    (21, "kai", "Spooky month theme",
     "Switch the lodge to a ghostly green palette for October. Boo.",
     ["pixel"]),
    (17, "mira", "Time-zone hints in profiles",
     "Show each member's local time next to their status so we know who is asleep.",
     ["luna", "orion", "nova"]),
    (13, "nova", "Newcomer guide",
     "A short welcome page explaining chat, ideas, voice and the game for people who just joined.",
     ["luna", "stella"]),
    (9, "luna", "Lantern reactions",
     "Let us react to chat messages with a tiny lantern instead of a like.",
     ["Zoë Star", "mira", "pixel", "nova"]),
    (6, "stella", "Voice room music bot",
     "A gentle lo-fi stream in the voice room while nobody is talking.",
     ["kai"]),
    (3, "pixel", "Animated avatars",
     "Two-frame idle animations for the built-in avatars. The frog would blink.",
     ["luna", "Zoë Star", "orion", "stella", "kai", "nova", "mira"]),
    (1, "Zoë Star", "Nebulite ghost replays",
     "Race against a ghost of your best run, or the current leader's.",
     []),
]

_hash_cache: dict[str, tuple[bytes, bytes]] = {}


def _demo_password_hash(username: str) -> tuple[bytes, bytes]:
    """Per-member salted hash of the demo password, computed once per process."""
    if username not in _hash_cache:
        _hash_cache[username] = hash_password(DEMO_PASSWORD)
    return _hash_cache[username]


def email_for(username: str) -> str:
    local = "".join(ch for ch in username.lower() if ch.isascii() and ch.isalnum())
    return f"{local or 'member'}@moonlodge.test"


def seed(store: Store, now: float | None = None) -> None:
    """Replace everything in the store with the demo community."""
    now = now or time.time()
    with store.transaction():
        store.wipe()
        ids: dict[str, int] = {}
        for m in MEMBERS:
            salt, digest = _demo_password_hash(m.username)
            since = datetime.fromisoformat(m.member_since + "T12:00:00").timestamp()
            ids[m.username] = store.add_user(m.username, email_for(m.username), salt, digest,
                                             m.profile_image, m.status, m.description, since,
                                             m.earlier_messages)
        for minutes_ago, sender, text in CHAT:
            store.add_message(ids[sender], text, created_at=now - minutes_ago * 60)
        for days_ago, author, title, content, likers in IDEAS:
            idea_id = store.add_idea(ids[author], title, content,
                                     created_at=now - days_ago * 86400 - 3600)
            for liker in likers:
                store.set_like(idea_id, ids[liker], True)
        for i, m in enumerate(MEMBERS):
            if m.best_score is not None:
                store.submit_score(ids[m.username], m.best_score, at=now - (i + 2) * 86400)

"""Protocol-level tests: each starts the real orvasm-lsp (the path in the
environment variable ORVASM_LSP) in a fresh workspace and speaks framed
JSON-RPC to it over its standard input and output.

    ORVASM_LSP=build/orvasm-lsp python3 tests/lsp/protocol_test.py [CLASS]
"""

import os
import tempfile
import unittest

from lsp_session import TIMEOUT, Session, file_uri, frame

BINARY = os.path.abspath(os.environ.get("ORVASM_LSP", "build/orvasm-lsp"))

PARSE_ERROR = -32700
INVALID_REQUEST = -32600
METHOD_NOT_FOUND = -32601
INVALID_PARAMS = -32602
SERVER_NOT_INITIALIZED = -32002

ERROR, WARNING = 1, 2


class ServerTest(unittest.TestCase):
    """Starts a server in an empty workspace of its own."""

    def setUp(self):
        self.workspace = tempfile.TemporaryDirectory(prefix="orvasm-lsp-")
        self.root = os.path.realpath(self.workspace.name)
        self.session = Session(BINARY, self.root)

    def tearDown(self):
        # Ended by the end of its input rather than killed, so that a
        # coverage build writes its counts.
        self.session.finish()
        self.workspace.cleanup()

    def write(self, name, text):
        with open(os.path.join(self.root, name), "w") as file:
            file.write(text)

    def uri(self, name):
        return file_uri(os.path.join(self.root, name))

    def open(self, name, text, version=1):
        self.session.notify("textDocument/didOpen", {"textDocument": {
            "uri": self.uri(name), "languageId": "orvasm", "version": version, "text": text}})
        return self.session.diagnostics(self.uri(name))

    def change(self, name, changes, version=2):
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri(name), "version": version},
            "contentChanges": changes})
        return self.session.diagnostics(self.uri(name))

    def assert_error(self, response, code):
        self.assertIn("error", response, response)
        self.assertEqual(response["error"]["code"], code, response)

    def assert_exits(self, status, log_part=""):
        code, log = self.session.finish()
        self.assertEqual(code, status, log)
        self.assertIn(log_part, log)


def messages(diagnostics):
    return [diagnostic["message"] for diagnostic in diagnostics]


def place(diagnostic):
    start, end = diagnostic["range"]["start"], diagnostic["range"]["end"]
    return (start["line"], start["character"], end["line"], end["character"])


class Lifecycle(ServerTest):
    def test_initialize_offers_incremental_sync_in_utf16(self):
        result = self.session.initialize()["result"]
        self.assertEqual(result["capabilities"]["positionEncoding"], "utf-16")
        self.assertEqual(result["capabilities"]["textDocumentSync"]["change"], 2)
        self.assertTrue(result["capabilities"]["textDocumentSync"]["openClose"])
        self.assertEqual(result["serverInfo"]["name"], "orvasm-lsp")

    def test_initialize_takes_utf8_when_the_client_offers_it(self):
        result = self.session.initialize(
            capabilities={"general": {"positionEncodings": ["utf-16", "utf-8"]}})["result"]
        self.assertEqual(result["capabilities"]["positionEncoding"], "utf-8")

    def test_odd_capabilities_and_options_keep_the_defaults(self):
        cases = [{}, {"capabilities": {"general": None}},
                 {"capabilities": {"general": {"positionEncodings": "utf-8"}}},
                 {"capabilities": {"general": {"positionEncodings": ["utf-16", "utf-32"]}}},
                 {"capabilities": {}, "initializationOptions": {"inlayHints": "yes"}},
                 {"capabilities": {}, "initializationOptions": {"inlayHints": False}}]
        for params in cases:
            with self.subTest(params=params):
                session = Session(BINARY, self.root)
                session.send({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": params})
                capabilities = session.response(1)["result"]["capabilities"]
                self.assertEqual(capabilities["positionEncoding"], "utf-16")
                self.assertNotIn("inlayHintProvider", capabilities)
                session.finish()

    def test_shutdown_then_exit_ends_with_status_0(self):
        self.session.initialize()
        self.assertIsNone(self.session.request("shutdown")["result"])
        self.session.notify("exit")
        self.assert_exits(0)

    def test_exit_without_shutdown_ends_with_status_1(self):
        self.session.initialize()
        self.session.notify("exit")
        self.assert_exits(1)

    def test_end_of_input_is_a_clean_exit(self):
        self.session.initialize()
        self.session.request("shutdown")
        self.assert_exits(0)

    def test_end_of_input_before_shutdown_ends_with_status_1(self):
        self.session.initialize()
        self.assert_exits(1)

    def test_requests_before_initialize_are_refused(self):
        self.assert_error(self.session.request("shutdown"), SERVER_NOT_INITIALIZED)
        self.assert_error(self.session.request("textDocument/hover", {}), SERVER_NOT_INITIALIZED)
        # Notifications before initialize are dropped: nothing is published.
        self.session.notify("textDocument/didOpen", {"textDocument": {
            "uri": self.uri("early.orv"), "version": 1, "text": "@x @x"}})
        self.assertIn("result", self.session.initialize())

    def test_initialize_twice_is_an_invalid_request(self):
        self.session.initialize()
        self.assert_error(self.session.request("initialize", {"capabilities": {}}),
                          INVALID_REQUEST)

    def test_requests_after_shutdown_are_invalid(self):
        self.session.initialize()
        self.session.request("shutdown")
        self.assert_error(self.session.request("shutdown"), INVALID_REQUEST)
        self.session.notify("exit")
        self.assert_exits(0)

    def test_initialize_without_object_params_is_invalid_params(self):
        self.assert_error(self.session.request("initialize", [1, 2]), INVALID_PARAMS)
        self.assert_error(self.session.request("initialize"), INVALID_PARAMS)


class JsonRpc(ServerTest):
    def test_malformed_json_gets_a_parse_error_and_the_session_goes_on(self):
        self.session.send_bytes(frame(b'{"jsonrpc": "2.0", "id": 1, "method": '))
        response = self.session.receive()
        self.assert_error(response, PARSE_ERROR)
        self.assertIsNone(response["id"])
        self.assertIn("result", self.session.initialize())

    def test_invalid_requests(self):
        self.session.initialize()
        cases = [
            (b"[]", None), (b"42", None), (b'"text"', None),
            (b'{"jsonrpc": "1.0", "id": 7, "method": "shutdown"}', 7),
            (b'{"id": 8, "method": "shutdown"}', 8),
            (b'{"jsonrpc": "2.0", "id": 1.5, "method": "shutdown"}', None),
            (b'{"jsonrpc": "2.0", "id": null, "method": "shutdown"}', None),
            (b'{"jsonrpc": "2.0", "id": [1], "method": "shutdown"}', None),
            (b'{"jsonrpc": "2.0", "id": 9, "method": 12}', 9),
            (b'{"jsonrpc": "2.0", "id": "a", "method": "shutdown", "params": "x"}', "a"),
            (b'{"jsonrpc": "2.0", "id": 10}', 10),
            (b'{"jsonrpc": "2.0"}', None),
            (b"[" * 129 + b"]" * 129, None),
        ]
        for body, expected_id in cases:
            with self.subTest(body=body[:60]):
                self.session.send_bytes(frame(body))
                response = self.session.receive()
                self.assert_error(response, INVALID_REQUEST)
                self.assertEqual(response["id"], expected_id)

    def test_values_up_to_the_limit(self):
        self.session.initialize()
        # The object, "2.0", the id, the method, params and its array: 6 values.
        for zeros, code in ((1_000_000 - 6, METHOD_NOT_FOUND), (1_000_000 - 5, INVALID_REQUEST)):
            with self.subTest(zeros=zeros):
                self.session.send_bytes(frame(b'{"jsonrpc":"2.0","id":1,"method":"x","params":{"a":['
                                              + b",".join([b"0"] * zeros) + b"]}}"))
                self.assert_error(self.session.receive(), code)

    def test_nesting_within_the_limit_is_a_message(self):
        self.session.initialize()
        params = {"deep": [[]]}
        for _ in range(120):
            params = {"deep": params}
        self.session.send({"jsonrpc": "2.0", "id": "deep", "method": "orvasm/none",
                           "params": params})
        self.assert_error(self.session.response("deep"), METHOD_NOT_FOUND)

    def test_unknown_methods(self):
        self.session.initialize()
        self.session.send({"jsonrpc": "2.0", "id": "s", "method": "workspace/unknown"})
        self.assert_error(self.session.response("s"), METHOD_NOT_FOUND)
        # A notification's name sent as a request is unknown too.
        self.assert_error(self.session.request("initialized", {}), METHOD_NOT_FOUND)

    def test_notifications_and_responses_get_no_answer(self):
        self.session.initialize()
        self.session.notify("$/cancelRequest", {"id": 1})
        self.session.notify("$/setTrace", {"value": "off"})
        self.session.notify("workspace/didChangeConfiguration", {"settings": {}})
        self.session.notify("shutdown")  # a request's name sent as a notification
        self.session.send({"jsonrpc": "2.0", "id": 99, "result": None})
        self.session.send({"jsonrpc": "2.0", "id": 98, "error": {"code": 1, "message": "x"}})
        # The next message is the answer to the next request.
        self.session.send({"jsonrpc": "2.0", "id": 5, "method": "shutdown"})
        self.assertEqual(self.session.receive(), {"jsonrpc": "2.0", "id": 5, "result": None})


class Framing(ServerTest):
    """A broken stream cannot be resynchronised: each ends the session at once."""

    def test_other_headers_and_any_case_are_accepted(self):
        body = b'{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}'
        self.session.send_bytes(b"content-length: %d\r\nContent-Type: application/"
                                b"vscode-jsonrpc; charset=utf-8\r\n\r\n" % len(body) + body)
        self.assertIn("result", self.session.receive())
        # Bare LF line ends, and blanks around the length.
        body = b'{"jsonrpc":"2.0","id":2,"method":"shutdown"}'
        self.session.send_bytes(b"Content-Length:\t %d \n\n" % len(body) + body)
        self.assertEqual(self.session.receive()["id"], 2)

    def test_broken_streams_end_the_session(self):
        cases = [
            (b"Content-Type: text/plain\r\n\r\n{}", "without Content-Length"),
            (b"Hello there\r\n\r\n{}", "malformed header"),
            (b"Content-Length: twelve\r\n\r\n{}", "malformed header"),
            (b"Content-Length: 2 2\r\n\r\n{}", "malformed header"),
            (b"Content-Length: 1\0\r\n\r\n{}", "malformed header"),
            (b"X-" + b"a" * 2000 + b": 1\r\n\r\n", "malformed header"),
            (b"Content-Length: 67108865\r\n\r\n{}", "over the limit"),
            (b"Content-Length: 99999999999999999999999999\r\n\r\n", "over the limit"),
            (b"Content-Length: 67108864\r\n\r\n{}", "ended inside a message"),
            (b"Content-Length: 10\r\n", "ended inside a message"),
            (b"Content-Len", "ended inside a message"),
        ]
        for data, log in cases:
            with self.subTest(data=data[:40]):
                session = Session(BINARY, self.root)
                session.send_bytes(data)
                status, error = session.finish()
                self.assertEqual(status, 1)
                self.assertIn(log, error)

    def test_a_client_that_stops_reading_ends_the_session(self):
        self.session.initialize()
        self.session.process.stdout.close()
        self.session.send({"jsonrpc": "2.0", "id": 2, "method": "shutdown"})
        status = self.session.process.wait(TIMEOUT)
        self.assertEqual(status, 1)  # an exit, not SIGPIPE
        # A change that republishes two documents: nothing is written after
        # the first write fails.
        self.write("lib.orv", "@lib 01\n")
        session = Session(BINARY, self.root)
        session.initialize()
        for name, text in (("main.orv", "~lib.orv ;lib\n"), ("lib.orv", "@lib 01\n")):
            session.notify("textDocument/didOpen", {"textDocument": {
                "uri": self.uri(name), "version": 1, "text": text}})
            session.diagnostics(self.uri(name))
        session.diagnostics(self.uri("main.orv"))  # republished through lib.orv's opening
        session.process.stdout.close()
        session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("lib.orv"), "version": 2},
            "contentChanges": [{"text": "@lib 02\n"}]})
        status, log = session.finish()
        self.assertEqual((status, log), (1, "orvasm-lsp: the client stopped reading\n"))

    def test_a_large_document_is_taken(self):
        self.session.initialize()
        text = "( " + "comment " * 1_000_000 + ") @unused"
        self.assertEqual(messages(self.open("large.orv", text)), [])


class Diagnostics(ServerTest):
    def setUp(self):
        super().setUp()
        self.session.initialize()

    def test_a_failure_is_one_diagnostic_at_its_token(self):
        # The cascade's "Invalid token: #0" after the cause says nothing more.
        diagnostics = self.open("main.orv", "@start\n  #01 #0\n")
        self.assertEqual(messages(diagnostics), ["Invalid hex literal: #0"])
        self.assertEqual([place(d) for d in diagnostics], [(1, 6, 1, 8)])
        self.assertEqual({d["severity"] for d in diagnostics}, {ERROR})
        self.assertEqual({d["source"] for d in diagnostics}, {"orvasm"})

    def test_notes_are_related_information(self):
        diagnostics = self.open("main.orv", "@a\n@a\n")
        self.assertEqual(messages(diagnostics), ["Label duplicate: a"])
        self.assertEqual(place(diagnostics[0]), (1, 0, 1, 2))
        related = diagnostics[0]["relatedInformation"]
        self.assertEqual([(r["message"], place(r["location"])) for r in related],
                         [("first defined here", (0, 0, 0, 2))])
        # In a macro body: at the body token, with the use as the chain.
        diagnostics = self.change("main.orv", [{"text": "%m { #zz }\n@b m\n"}])
        self.assertEqual(messages(diagnostics), ["Invalid hex literal: #zz"])
        self.assertEqual(place(diagnostics[0]), (0, 5, 0, 8))
        related = diagnostics[0]["relatedInformation"]
        self.assertEqual([(r["message"], place(r["location"])) for r in related],
                         [("in expansion of macro m", (1, 3, 1, 4))])

    def test_the_range_is_the_whole_token_as_written(self):
        diagnostics = self.open("main.orv", "\n\n;nowhere")
        self.assertEqual(messages(diagnostics), ["Unknown absolute reference: nowhere"])
        self.assertEqual(place(diagnostics[0]), (2, 0, 2, 8))
        # The message names the first 62 characters of a longer token; the
        # range is all of it.
        diagnostics = self.change("main.orv", [{"text": "01\n" + "a" * 70}])
        self.assertEqual(messages(diagnostics), ["Invalid token: " + "a" * 62])
        self.assertEqual(place(diagnostics[0]), (1, 0, 1, 70))

    def test_warnings(self):
        diagnostics = self.open("main.orv", "@Main (note ) @spare 01 ;Main")
        self.assertEqual(messages(diagnostics), ["Malformed comment: (note", "Unused label: spare"])
        self.assertEqual({d["severity"] for d in diagnostics}, {WARNING})
        self.assertEqual(place(diagnostics[1]), (0, 14, 0, 20))
        # The program reports unused labels only with a rom, not an empty one.
        self.assertEqual(messages(self.change("main.orv", [{"text": "@spare"}])), [])

    def test_changes_update_the_diagnostics(self):
        self.assertEqual(messages(self.open("main.orv", "@a ;a\n")), [])
        # Incremental: a new line 1, with a character on its line counting two UTF-16 units.
        diagnostics = self.change("main.orv", [
            {"range": {"start": {"line": 1, "character": 0}, "end": {"line": 1, "character": 0}},
             "text": '"\U0001F600 @b\n'}])
        self.assertEqual(messages(diagnostics), ["Unused label: b"])
        self.assertEqual(place(diagnostics[0]), (1, 4, 1, 6))  # after 1 + 2 units and a blank
        # Out of range: clamped to the end of the document, and a reversed range is taken.
        diagnostics = self.change("main.orv", [
            {"range": {"start": {"line": 99, "character": 99}, "end": {"line": 1, "character": 0}},
             "text": ""}], version=3)
        self.assertEqual(messages(diagnostics), [])
        # Negative and huge numbers are clamped too: the whole text is replaced.
        diagnostics = self.change("main.orv", [
            {"range": {"start": {"line": -3, "character": -1},
                       "end": {"line": 2**64 - 1, "character": 2**63}}, "text": "@c"}], version=4)
        self.assertEqual(messages(diagnostics), [])

    def test_at_most_1000_diagnostics(self):
        diagnostics = self.open("main.orv", "(x ) " * 1001 + "@c ;c")
        self.assertEqual(len(diagnostics), 1000)
        self.assertEqual(set(messages(diagnostics)), {"Malformed comment: (x"})

    def test_positions_in_utf8_when_chosen(self):
        self.session.request("shutdown")
        self.session.finish()
        self.session = Session(BINARY, self.root)
        self.session.initialize(capabilities={"general": {"positionEncodings": ["utf-8"]}})
        self.open("main.orv", '"\u00e9\u00e9 01\n')
        diagnostics = self.change("main.orv", [
            {"range": {"start": {"line": 0, "character": 6}, "end": {"line": 0, "character": 8}},
             "text": "#1"}])
        self.assertEqual(messages(diagnostics)[0], "Invalid hex literal: #1")
        self.assertEqual(place(diagnostics[0]), (0, 6, 0, 8))

    def test_malformed_notifications_change_nothing(self):
        self.open("main.orv", "@a 01")
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("main.orv")},
            "contentChanges": [{"text": "@a @a"}, {"range": {"start": {"line": 0}}, "text": ""}]})
        self.session.notify("textDocument/didChange", {"textDocument": {"uri": self.uri("x")},
                                                       "contentChanges": []})
        for changes in ({"text": "@a @a"}, [{"range": {}}],
                        [{"range": {"start": {"line": 0, "character": 0}}, "text": ""}]):
            self.session.notify("textDocument/didChange", {
                "textDocument": {"uri": self.uri("main.orv")}, "contentChanges": changes})
        self.session.notify("textDocument/didChange", {"textDocument": {},
                                                       "contentChanges": [{"text": "@a @a"}]})
        self.session.notify("textDocument/didChange",
                            {"textDocument": {"uri": self.uri("main.orv")}})
        self.session.notify("textDocument/didOpen", {"textDocument": {"uri": 5}})
        self.session.notify("textDocument/didOpen", {"textDocument": {"uri": self.uri("main.orv")}})
        self.session.notify("textDocument/didClose", {})
        self.session.notify("textDocument/didOpen", ["not", "an", "object"])
        # The document is as it was: a whole change now is the only one applied.
        self.assertEqual(messages(self.change("main.orv", [{"text": "@a @a"}])),
                         ["Label duplicate: a"])
        _, log = self.session.finish()
        self.assertIn("textDocument/didChange ignored: malformed contentChanges", log)

    def test_a_change_without_a_version_keeps_the_version(self):
        self.open("main.orv", "@a 01", version=7)
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("main.orv")}, "contentChanges": [{"text": "@a @a"}]})
        while True:
            message = self.session.receive()
            if message.get("method") == "textDocument/publishDiagnostics":
                break
        self.assertEqual(message["params"]["version"], 7)
        self.assertEqual(messages(message["params"]["diagnostics"]), ["Label duplicate: a"])

    def test_closing_clears_the_diagnostics(self):
        self.open("main.orv", "@a @a")
        self.session.notify("textDocument/didClose", {"textDocument": {"uri": self.uri("main.orv")}})
        self.assertEqual(self.session.diagnostics(self.uri("main.orv")), [])


class Includes(ServerTest):
    """Included paths are taken from the root, served from open documents first."""

    def setUp(self):
        super().setUp()
        os.mkdir(os.path.join(self.root, "lib"))
        self.write("lib/bad.orv", "@b #xyz")
        self.write("lib/good.orv", "@g 01")
        self.session.initialize()

    def test_files_are_read_from_the_root(self):
        diagnostics = self.open("main.orv", "~lib/good.orv ~lib/bad.orv")
        # In the document, at the include; where it happened, as related information.
        self.assertEqual(messages(diagnostics), ["Invalid hex literal: #xyz"])
        self.assertEqual(place(diagnostics[0]), (0, 14, 0, 26))
        related = diagnostics[0]["relatedInformation"]
        self.assertEqual(related[0]["location"]["uri"], self.uri("lib/bad.orv"))
        self.assertEqual(place(related[0]["location"]), (0, 3, 0, 7))
        self.assertEqual(related[0]["message"], "Invalid hex literal: #xyz")

    def test_warnings_in_included_files_are_on_the_include(self):
        self.write("lib/spare.orv", "@spare (note )\n")
        self.write("lib/outer.orv", "\n~lib/spare.orv\n")
        diagnostics = self.open("main.orv", "01\n  ~lib/outer.orv\n")
        self.assertEqual(messages(diagnostics),
                         ["Malformed comment: (note", "Unused label: spare"])
        self.assertEqual({place(d) for d in diagnostics}, {(1, 2, 1, 16)})
        related = diagnostics[1]["relatedInformation"]
        self.assertEqual(related[0]["location"]["uri"], self.uri("lib/spare.orv"))
        self.assertEqual(place(related[0]["location"]), (0, 0, 0, 6))

    def test_an_open_document_wins_over_its_file(self):
        bad_uri = file_uri(self.root + "/lib/./bad.orv")
        self.session.notify("textDocument/didOpen", {"textDocument": {
            "uri": bad_uri, "version": 1, "text": "@b 02 ;g"}})
        self.session.diagnostics(bad_uri)
        self.assertEqual(messages(self.open("main.orv", "~lib/good.orv ~lib/bad.orv")),
                         ["Unused label: b"])

    def test_a_save_assembles_every_open_document_again(self):
        self.assertEqual(messages(self.open("main.orv", "~lib/good.orv ;g")), [])
        self.write("lib/good.orv", "@g #1")
        self.session.notify("textDocument/didSave",
                            {"textDocument": {"uri": self.uri("lib/good.orv")}})
        self.assertEqual(messages(self.session.diagnostics(self.uri("main.orv")))[0],
                         "Invalid hex literal: #1")

    def test_only_regular_files_are_read(self):
        # /dev/stdin would be the server's own protocol stream, and a FIFO
        # without a writer would block it.
        os.mkfifo(os.path.join(self.root, "fifo"))
        for path in ("/dev/stdin", "fifo", "lib"):
            with self.subTest(path=path):
                self.assertEqual(messages(self.open("main.orv", "~" + path))[0],
                                 "Include missing: " + path)

    def test_a_root_from_workspace_folders_or_root_path(self):
        for params in ({"rootUri": None, "workspaceFolders": [{"uri": file_uri(self.root),
                                                               "name": "w"}]},
                       {"rootUri": None, "rootPath": self.root + "/lib/.."}):
            with self.subTest(params=params):
                session = Session(BINARY, "/")
                session.initialize(**params)
                session.notify("textDocument/didOpen", {"textDocument": {
                    "uri": "untitled:1", "version": 1, "text": "~lib/bad.orv"}})
                self.assertEqual(messages(session.diagnostics("untitled:1"))[0],
                                 "Invalid hex literal: #xyz")
                session.finish()

    def test_odd_workspace_folders_name_no_root(self):
        # Without a root each document takes its own directory: "~bad.orv"
        # from lib/ is lib/bad.orv.
        for folders in ([], {"uri": file_uri(self.root)}, [{"name": "w"}]):
            with self.subTest(folders=folders):
                session = Session(BINARY, self.root)
                session.initialize(rootUri=None, workspaceFolders=folders)
                uri = self.uri("lib/user.orv")
                session.notify("textDocument/didOpen", {"textDocument": {
                    "uri": uri, "version": 1, "text": "~bad.orv"}})
                self.assertEqual(messages(session.diagnostics(uri)), ["Invalid hex literal: #xyz"])
                # A document that names no file has no directory: still assembled.
                session.notify("textDocument/didOpen", {"textDocument": {
                    "uri": "untitled:2", "version": 1, "text": "@a @a"}})
                self.assertEqual(messages(session.diagnostics("untitled:2")),
                                 ["Label duplicate: a"])
                session.finish()


# A program over two files for the navigation tests: lib.orv is included
# from the root, and defines a label and a macro main.orv uses.
LIB = "@lib ( the library )\n&entry #01\n%twice { DUP ADD }\n"
MAIN = ("~lib.orv\n"
        "@main #02\n"
        "  ,&loop JMP ;lib/entry JSR2 twice\n"
        "  &loop lib ;main/loop POP\n"
        "@other ,&loop JMP &loop\n")


def spot(text, needle, occurrence=0, shift=0):
    """The protocol position of the `occurrence`th `needle` in `text`, plus `shift`."""
    at = -1
    for _ in range(occurrence + 1):
        at = text.index(needle, at + 1)
    at += shift
    line = text.count("\n", 0, at)
    return {"line": line, "character": at - (text.rfind("\n", 0, at) + 1)}


def span(text, needle, occurrence=0, skip=0):
    """The place of a needle as place() gives it, its first `skip` characters left out."""
    start = spot(text, needle, occurrence, skip)
    return (start["line"], start["character"], start["line"],
            start["character"] + len(needle) - skip)


class Navigation(ServerTest):
    """Definitions, references, outline, hover, completion and rename."""

    def setUp(self):
        super().setUp()
        self.write("lib.orv", LIB)
        self.session.initialize()
        self.open("main.orv", MAIN)

    def ask(self, method, position, name="main.orv", **params):
        params.update({"textDocument": {"uri": self.uri(name)}, "position": position})
        return self.session.request("textDocument/" + method, params)

    def definition(self, needle, occurrence=0, shift=1):
        result = self.ask("definition", spot(MAIN, needle, occurrence, shift))["result"]
        return None if result is None else (os.path.basename(result["uri"]), place(result))

    def test_definitions_of_every_kind_of_name(self):
        # ",&loop" in the scope in force: main's, then other's.
        self.assertEqual(self.definition(",&loop"), ("main.orv", span(MAIN, "&loop", 1)))
        self.assertEqual(self.definition(",&loop", 1), ("main.orv", span(MAIN, "&loop", 3)))
        self.assertEqual(self.definition(";main/loop"), ("main.orv", span(MAIN, "&loop", 1)))
        # Into the included file: a sublabel written in full, a call, a macro use.
        self.assertEqual(self.definition(";lib/entry"), ("lib.orv", span(LIB, "&entry")))
        self.assertEqual(self.definition(" lib ", shift=2), ("lib.orv", span(LIB, "@lib")))
        self.assertEqual(self.definition("twice"), ("lib.orv", span(LIB, "%twice")))
        # The include path, at the start of the file; a definition is its own.
        self.assertEqual(self.definition("~lib.orv"), ("lib.orv", (0, 0, 0, 0)))
        self.assertEqual(self.definition("@main"), ("main.orv", span(MAIN, "@main")))
        # Nothing for an instruction, a literal, or blank space far from a token.
        self.assertIsNone(self.definition("JMP"))
        self.assertIsNone(self.definition("#02"))

    def test_a_document_that_fails_answers_from_what_was_read(self):
        broken = MAIN + "#zz\n@late ,&x &x\n"
        self.change("main.orv", [{"text": broken}])
        self.assertEqual(self.definition(";lib/entry"), ("lib.orv", span(LIB, "&entry")))
        self.assertEqual(self.definition("twice"), ("lib.orv", span(LIB, "%twice")))
        # Uses are not final: the references were never resolved. No bytes either.
        hover = self.ask("hover", spot(broken, ";lib/entry", 0, 1))["result"]
        self.assertEqual(hover["contents"]["value"], "label `lib/entry` at 0100")
        # Past the failure nothing was defined.
        result = self.ask("definition", spot(broken, ",&x", 0, 1))["result"]
        self.assertIsNone(result)

    def test_references_across_files(self):
        response = self.ask("references", spot(MAIN, "&loop", 1),
                            context={"includeDeclaration": True})
        found = [(os.path.basename(r["uri"]), place(r)) for r in response["result"]]
        self.assertEqual(found, [("main.orv", span(MAIN, "&loop", 1)),
                                 ("main.orv", span(MAIN, ",&loop")),
                                 ("main.orv", span(MAIN, ";main/loop"))])
        response = self.ask("references", spot(LIB, "%twice", 0, 1), "lib.orv",
                            context={"includeDeclaration": False})
        self.assertIsNone(response["result"])  # lib.orv is not open: nothing to answer
        response = self.ask("references", spot(MAIN, "twice"),
                            context={"includeDeclaration": False})
        self.assertEqual([place(r) for r in response["result"]], [span(MAIN, "twice")])

    def test_document_symbols_nest_sublabels(self):
        response = self.session.request("textDocument/documentSymbol",
                                        {"textDocument": {"uri": self.uri("main.orv")}})
        outline = [(s["name"], [c["name"] for c in s["children"]]) for s in response["result"]]
        self.assertEqual(outline, [("main", ["loop"]), ("other", ["loop"])])
        main = response["result"][0]
        self.assertEqual(place({"range": main["selectionRange"]}), span(MAIN, "@main"))
        # The parent's range holds its children.
        self.assertEqual(main["range"]["end"], spot(MAIN, "&loop", 1, len("&loop")))
        self.open("lib.orv", LIB)
        response = self.session.request("textDocument/documentSymbol",
                                        {"textDocument": {"uri": self.uri("lib.orv")}})
        self.assertEqual([(s["name"], s["kind"]) for s in response["result"]],
                         [("lib", 3), ("twice", 12)])

    def hover(self, needle, occurrence=0):
        result = self.ask("hover", spot(MAIN, needle, occurrence, 1))["result"]
        return result and result["contents"]["value"]

    def test_hover(self):
        # ~lib.orv writes 80 01 at 0100, main starts at 0102 with 80 02.
        self.assertEqual(self.hover(";lib/entry"),
                         "label `lib/entry` at 0100, used 1 time\n\n"
                         "assembles to `a0 01 00` at 0107")
        self.assertEqual(self.hover("twice"),
                         "```orvasm\n%twice { DUP ADD }\n```\n\n"
                         "assembles to `06 18` at 010b")
        self.assertEqual(self.hover("JSR2"),
                         "`JSR2`: opcode `2e`, JSR 0e, `2` short +20\n\n"
                         "assembles to `2e` at 010a")
        self.assertIn("assembles to `80 06` at 0104", self.hover(",&loop"))
        self.assertEqual(self.hover("#02"), "assembles to `80 02` at 0102")

    def complete(self, text_before):
        self.change("main.orv", [{"text": MAIN + text_before}])
        end = spot(MAIN + text_before, text_before, 0, len(text_before))
        result = self.ask("completion", end)["result"]
        return {item["label"]: item for item in result["items"]}

    def test_completion(self):
        # After "&", the sublabels of the scope in force, as written there.
        items = self.complete(",&")
        self.assertEqual(set(items), {"loop"})
        self.assertEqual(items["loop"]["textEdit"]["range"]["start"],
                         spot(MAIN + ",&", ",&", 0, 2))
        # After another sigil every label; a bare word also macros and instructions.
        self.assertEqual(set(self.complete(";l")),
                         {"lib", "lib/entry", "main", "main/loop", "other", "other/loop"})
        items = self.complete("AD")
        self.assertIn("twice", items)
        self.assertEqual(items["ADD2k"]["detail"], "opcode b8")
        self.assertEqual(items["twice"]["kind"], 3)
        self.assertEqual(self.complete("#0"), {})
        # Nothing typed, or a word that reads as hexadecimal so far: everything,
        # the 6 labels, the macro, and 32 mnemonics in 8 modes and BRK.
        for typed in ("", " ", "ab", "abcd", "ADD"):
            with self.subTest(typed=typed):
                items = self.complete(typed)
                self.assertEqual(len(items), 6 + 1 + 32 * 8 + 1)
                self.assertEqual(items["lib/entry"]["detail"], "label at 0100")

    def rename(self, position, new_name, name="main.orv"):
        return self.ask("rename", position, name, newName=new_name)

    def apply(self, response):
        """The texts of main.orv and lib.orv after the edits of a WorkspaceEdit."""
        texts = {"main.orv": MAIN, "lib.orv": LIB}
        for uri, edits in response["result"]["changes"].items():
            name = os.path.basename(uri)
            lines = texts[name].split("\n")
            for edit in sorted(edits, key=lambda e: (e["range"]["start"]["line"],
                                                     e["range"]["start"]["character"]),
                               reverse=True):
                start, end = edit["range"]["start"], edit["range"]["end"]
                self.assertEqual(start["line"], end["line"])
                line = lines[start["line"]]
                lines[start["line"]] = (line[:start["character"]] + edit["newText"]
                                        + line[end["character"]:])
            texts[name] = "\n".join(lines)
        return texts

    def test_rename_changes_every_use_in_every_file(self):
        texts = self.apply(self.rename(spot(MAIN, " lib ", 0, 2), "library"))
        self.assertEqual(texts["lib.orv"], LIB.replace("@lib", "@library"))
        self.assertEqual(texts["main.orv"], MAIN.replace(";lib/entry", ";library/entry")
                         .replace(" lib ", " library "))
        # A sublabel keeps its scope; the short and the full forms both change.
        texts = self.apply(self.rename(spot(MAIN, ",&loop", 0, 2), "again"))
        self.assertEqual(texts["main.orv"], MAIN.replace(",&loop JMP ;", ",&again JMP ;")
                         .replace("  &loop", "  &again").replace("main/loop", "main/again"))
        texts = self.apply(self.rename(spot(MAIN, "twice", 0, 1), "double"))
        self.assertEqual(texts["lib.orv"], LIB.replace("twice", "double"))
        self.assertEqual(texts["main.orv"], MAIN.replace("twice", "double"))

    def test_renames_that_cannot_be_made_are_refused(self):
        self.assert_error(self.rename(spot(MAIN, "JMP"), "x"), -32803)
        self.assert_error(self.rename(spot(MAIN, "@main", 0, 1), "two words"), -32803)
        self.assert_error(self.rename(spot(MAIN, "@main", 0, 1), "x" * 64), -32803)
        # "&loop" cannot move to another scope.
        self.assert_error(self.rename(spot(MAIN, "&loop", 1, 1), "other/again"), -32803)
        self.assert_error(self.session.request("textDocument/rename", {
            "textDocument": {"uri": self.uri("main.orv")},
            "position": spot(MAIN, "@main")}), INVALID_PARAMS)

    def test_requests_with_missing_or_odd_params_get_null_or_less(self):
        for method in ("definition", "references", "hover", "completion", "rename",
                       "prepareRename", "documentHighlight", "foldingRange", "inlayHint",
                       "semanticTokens/full", "codeAction"):
            response = self.session.request("textDocument/" + method, {
                "textDocument": {"uri": 7}, "position": {"line": 0, "character": 0},
                "newName": "x"})
            self.assertIsNone(response["result"], method)
        response = self.session.request("textDocument/documentSymbol", {"textDocument": {}})
        self.assertIsNone(response["result"])
        # References without a context, or with an odd one, leave the definition out.
        for context in (None, {"includeDeclaration": "yes"}, []):
            params = {"textDocument": {"uri": self.uri("main.orv")},
                      "position": spot(MAIN, "&loop", 1)}
            if context is not None:
                params["context"] = context
            response = self.session.request("textDocument/references", params)
            self.assertEqual(len(response["result"]), 2, context)
        # Blank space names nothing to hover.
        self.assertIsNone(self.ask("hover", {"line": 2, "character": 0})["result"])
        # A position needs an integer line and character.
        for position in ({"line": 2.5, "character": 3}, {"line": 2}, {"line": "2", "character": 3}):
            self.assertIsNone(self.ask("hover", position)["result"], position)

    def test_highlight_in_the_document_only(self):
        # twice is defined in lib.orv: only its use here, read.
        result = self.ask("documentHighlight", spot(MAIN, "twice", 0, 1))["result"]
        self.assertEqual([(place(h), h["kind"]) for h in result], [(span(MAIN, "twice"), 2)])
        # The include is no name: nothing, even with its file as the definition.
        self.assertEqual(self.ask("documentHighlight", spot(MAIN, "~lib.orv", 0, 1))["result"], [])
        response = self.ask("references", spot(MAIN, "~lib.orv", 0, 1),
                            context={"includeDeclaration": True})
        self.assertEqual(response["result"], [])

    def test_requests_on_documents_not_open_or_out_of_range(self):
        self.assertIsNone(self.ask("definition", {"line": 0, "character": 0}, "none.orv")["result"])
        # Clamped: past the end of the last line is its last token, "&loop".
        result = self.ask("definition", {"line": 4, "character": 99})["result"]
        self.assertEqual(place(result), span(MAIN, "&loop", 3))
        self.assertIsNone(self.session.request("textDocument/hover", {
            "textDocument": {"uri": self.uri("main.orv")}})["result"])


class Leniency(ServerTest):
    """Clients that send null params, or odd ones where nothing is read."""

    def send_raw(self, method, params, request_id=None):
        message = {"jsonrpc": "2.0", "method": method, "params": params}
        if request_id is not None:
            message["id"] = request_id
        self.session.send(message)

    def test_null_params_on_shutdown_and_exit_end_with_status_0(self):
        self.session.initialize()
        self.send_raw("shutdown", None, 7)
        self.assertEqual(self.session.response(7)["result"], None)
        self.send_raw("exit", None)
        self.assert_exits(0)

    def test_exit_after_shutdown_ends_whatever_its_params(self):
        for params in ("x", 5, [], {"a": 1}):
            with self.subTest(params=params):
                session = Session(BINARY, self.root)
                session.initialize()
                session.request("shutdown")
                session.send({"jsonrpc": "2.0", "method": "exit", "params": params})
                # The server ends without waiting for the end of its input.
                self.assertEqual(session.process.wait(TIMEOUT), 0)
                session.finish()

    def test_null_params_elsewhere_are_taken_as_absent(self):
        self.session.initialize()
        self.send_raw("initialized", None)
        self.send_raw("textDocument/didOpen", None)
        self.send_raw("$/unknownNotification", None)
        self.send_raw("textDocument/hover", None, 3)
        self.assertIsNone(self.session.response(3)["result"])
        self.send_raw("workspace/symbol", None, 4)
        self.assertEqual(self.session.response(4)["result"], [])
        # initialize needs its params: null is as absent.
        session = Session(BINARY, self.root)
        session.send({"jsonrpc": "2.0", "id": 1, "method": "initialize", "params": None})
        self.assert_error(session.response(1), INVALID_PARAMS)
        session.finish()

    def test_version_and_help_print_and_exit_0(self):
        import subprocess
        for option, start in (("--version", "orvasm-lsp "), ("--help", "usage: orvasm-lsp")):
            with self.subTest(option=option):
                done = subprocess.run([BINARY, option], stdin=subprocess.DEVNULL,
                                      capture_output=True, timeout=TIMEOUT)
                self.assertEqual(done.returncode, 0)
                self.assertTrue(done.stdout.decode().startswith(start), done.stdout)
                self.assertEqual(done.stderr, b"")
        # Other arguments are skipped; an output that fails is status 1.
        done = subprocess.run([BINARY, "--stdio", "--version"], stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=TIMEOUT)
        self.assertEqual((done.returncode, done.stdout.decode()[:11]), (0, "orvasm-lsp "))
        if os.path.exists("/dev/full"):
            with open("/dev/full", "w") as full:
                done = subprocess.run([BINARY, "--help"], stdin=subprocess.DEVNULL, stdout=full,
                                      stderr=subprocess.PIPE, timeout=TIMEOUT)
            self.assertEqual(done.returncode, 1)


class Rename(ServerTest):
    """A rename is answered only when the program assembles as before."""

    TEXT = ("@write-hex ( x -- ) #01 POP JMP2r\n"
            "@main ;write-hex JSR2 write-hex ,&loop JMP &loop BRK\n"
            "%twice { DUP ADD }\n"
            "@other twice\n")

    def setUp(self):
        super().setUp()
        self.session.initialize()
        self.open("main.orv", self.TEXT)

    def at(self, needle, shift=1):
        return {"textDocument": {"uri": self.uri("main.orv")},
                "position": spot(self.TEXT, needle, 0, shift)}

    def rename(self, needle, new_name, shift=1):
        params = self.at(needle, shift)
        params["newName"] = new_name
        return self.session.request("textDocument/rename", params)

    def test_names_that_would_break_the_program_are_refused_with_why(self):
        cases = [("beef", "`beef` is a hexadecimal word"), ("ab", "`ab` is a hexadecimal word"),
                 ("ADD", "`ADD` is an instruction"), ("ADD2kr", "`ADD2kr` is an instruction"),
                 ("other", "`other` is already a label"), ("twice", "`twice` is already a macro"),
                 ("&x", "`&x` defines a sublabel"), ("(x", "`(x` opens a comment"),
                 ("#12", "`#12` is a literal"), (";x", "`;x` is a reference"),
                 ("(", "`(` opens a comment"), ("~x", "`~x` is an include"),
                 ("%x", "`%x` defines a macro"), ("|10", "`|10` is padding"),
                 ("$1", "`$1` is padding"), ("@x", "`@x` defines a label"),
                 ('"x', '`"x` is text'), ("[", "`[` is a bracket"),
                 ("write hex", None)]
        for new_name, why in cases:
            with self.subTest(new_name=new_name):
                response = self.rename("@write-hex", new_name)
                self.assert_error(response, -32803)
                if why:
                    self.assertEqual(response["error"]["message"], why)
                else:
                    self.assertIn(new_name, response["error"]["message"])

    def test_a_name_the_program_cannot_hold_where_written_is_refused(self):
        # 61 characters are a name, but with "@" or ";" a token longer than
        # the main source's tokens may be.
        response = self.rename("@write-hex", "n" * 61)
        self.assert_error(response, -32803)
        self.assertIn("would assemble with another outcome", response["error"]["message"])
        self.assertIn("result", self.rename("@write-hex", "n" * 60))

    def test_a_safe_rename_is_answered(self):
        response = self.rename("@write-hex", "print-hex")
        edits = response["result"]["changes"][self.uri("main.orv")]
        self.assertEqual(len(edits), 3)
        self.assertEqual({e["newText"] for e in edits}, {"print-hex"})

    def test_a_rename_to_the_same_name_changes_nothing_but_is_answered(self):
        edits = self.rename("@write-hex", "write-hex")["result"]["changes"][self.uri("main.orv")]
        self.assertEqual(sorted(place(e) for e in edits),
                         [span(self.TEXT, "@write-hex", 0, 1), span(self.TEXT, ";write-hex", 0, 1),
                          span(self.TEXT, " write-hex", 0, 1)])
        self.assertEqual({e["newText"] for e in edits}, {"write-hex"})

    def test_a_program_that_fails_is_renamed_as_far_as_it_was_read(self):
        self.open("broken.orv", "@a ;a #zz ;a")
        response = self.session.request("textDocument/rename", {
            "textDocument": {"uri": self.uri("broken.orv")},
            "position": {"line": 0, "character": 1}, "newName": "b"})
        edits = response["result"]["changes"][self.uri("broken.orv")]
        self.assertEqual(sorted((place(e), e["newText"]) for e in edits),
                         [((0, 1, 0, 2), "b"), ((0, 4, 0, 5), "b")])

    def test_prepare_rename_gives_the_name_or_refuses(self):
        def prepare(needle, shift=1):
            return self.session.request("textDocument/prepareRename", self.at(needle, shift))
        result = prepare(";write-hex")["result"]
        self.assertEqual(result["placeholder"], "write-hex")
        self.assertEqual(place(result), span(self.TEXT, ";write-hex", 0, 1))
        self.assertEqual(prepare(",&loop")["result"]["placeholder"], "loop")
        self.assertEqual(prepare("%twice")["result"]["placeholder"], "twice")
        self.assertEqual(prepare(" twice", 2)["result"]["placeholder"], "twice")
        for needle in ("JMP2r", "#01", "( x"):
            with self.subTest(needle=needle):
                self.assert_error(prepare(needle), -32803)

    def test_a_rename_checks_every_open_program_that_reads_the_file(self):
        self.write("lib.orv", "@lib-entry 01\n")
        self.open("user.orv", "~lib.orv ;lib-entry @lib-entry2 ;lib-entry2\n")
        self.open("lib.orv", "@lib-entry 01\n")
        # Safe in lib.orv alone, but a duplicate in user.orv's program.
        params = {"textDocument": {"uri": self.uri("lib.orv")},
                  "position": {"line": 0, "character": 2}, "newName": "lib-entry2"}
        self.assert_error(self.session.request("textDocument/rename", params), -32803)

    def test_a_rename_that_breaks_another_program_is_refused(self):
        # lib.orv is analysed through a.orv, the first program that reads
        # it; b.orv and c.orv read it too, and would define the name twice.
        self.write("lib.orv", "@lib-entry 01\n")
        self.open("a.orv", "~lib.orv ;lib-entry\n")
        for name in ("b.orv", "c.orv"):
            self.open(name, "~lib.orv ;lib-entry @lib-new ;lib-new\n")
        self.open("lib.orv", "@lib-entry 01\n")
        response = self.session.request("textDocument/rename", {
            "textDocument": {"uri": self.uri("lib.orv")},
            "position": {"line": 0, "character": 2}, "newName": "lib-new"})
        self.assert_error(response, -32803)
        self.assertEqual(response["error"]["message"],
                         "renaming to `lib-new`: the program would assemble with another outcome")


class CrossFiles(ServerTest):
    """A change to one file republishes every open program that reads it."""

    def setUp(self):
        super().setUp()
        self.write("lib.orv", "@lib #01\n")
        self.session.initialize()

    def test_fixing_an_included_file_clears_the_including_document(self):
        self.write("lib.orv", "@lib #1\n")
        self.assertEqual(messages(self.open("main.orv", "~lib.orv ;lib\n")),
                         ["Invalid hex literal: #1"])
        self.open("lib.orv", "@lib #1\n")
        self.session.diagnostics(self.uri("main.orv"))  # republished as it was
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("lib.orv"), "version": 2},
            "contentChanges": [{"text": "@lib #01\n"}]})
        self.assertEqual(self.session.diagnostics(self.uri("main.orv")), [])
        # Closing it reads the file from the disk again, broken as it is.
        self.session.notify("textDocument/didClose", {"textDocument": {"uri": self.uri("lib.orv")}})
        self.assertEqual(messages(self.session.diagnostics(self.uri("main.orv"))),
                         ["Invalid hex literal: #1"])

    def test_a_library_is_analysed_through_the_program_that_includes_it(self):
        library = "@lib-used 01\n@lib-spare 02\n"
        self.write("lib.orv", library)
        self.open("main.orv", "~lib.orv ;lib-used\n")
        # The program uses lib-used: only lib-spare is unused, on its token.
        diagnostics = self.open("lib.orv", library)
        self.assertEqual(messages(diagnostics), ["Unused label: lib-spare"])
        self.assertEqual(place(diagnostics[0]), (1, 0, 1, 10))
        # Requests too: lib-used is used once, by main.orv.
        response = self.session.request("textDocument/hover", {
            "textDocument": {"uri": self.uri("lib.orv")}, "position": {"line": 0, "character": 2}})
        self.assertIn("used 1 time", response["result"]["contents"]["value"])
        response = self.session.request("textDocument/references", {
            "textDocument": {"uri": self.uri("lib.orv")}, "position": {"line": 0, "character": 2},
            "context": {"includeDeclaration": False}})
        self.assertEqual([os.path.basename(r["uri"]) for r in response["result"]], ["main.orv"])
        # A change in the program republishes the library through it.
        self.change("main.orv", [{"text": "~lib.orv ;lib-used ;lib-spare\n"}])
        self.assertEqual(self.session.diagnostics(self.uri("lib.orv")), [])
        # An error in the program outside the library is not the library's.
        self.change("main.orv", [{"text": "~lib.orv ;lib-used ;lib-spare #zz\n"}], version=3)
        self.assertEqual(self.session.diagnostics(self.uri("lib.orv")), [])
        # Closed, the program no longer holds the library: alone, a library
        # (a file some source includes) has no unused-label warnings.
        self.session.notify("textDocument/didClose", {"textDocument": {"uri": self.uri("main.orv")}})
        self.assertEqual(self.session.diagnostics(self.uri("lib.orv")), [])

    def published_until_answered(self):
        """The URIs and diagnostics published before the answer to a request."""
        published = []
        self.session.send({"jsonrpc": "2.0", "id": "end", "method": "workspace/symbol",
                           "params": {"query": "none"}})
        while True:
            message = self.session.receive()
            if message.get("id") == "end":
                return published
            if message.get("method") == "textDocument/publishDiagnostics":
                published.append((os.path.basename(message["params"]["uri"]),
                                  messages(message["params"]["diagnostics"])))

    def test_a_change_to_any_file_of_a_program_republishes_its_open_files(self):
        self.write("two.orv", "@shared 02\n")
        self.open("main.orv", "~lib.orv ~two.orv ;lib\n")
        self.open("lib.orv", "@lib ;shared\n")
        self.open("two.orv", "@shared 02\n")
        self.open("alone.orv", "@u 01 ;u\n")
        self.session.notify("textDocument/didOpen", {"textDocument": {
            "uri": "untitled:1", "version": 1, "text": "@v 01 ;v\n"}})
        self.session.diagnostics("untitled:1")
        # two.orv no longer defines shared, which lib.orv, analysed through
        # main.orv, uses: main.orv and lib.orv follow, the others do not.
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("two.orv"), "version": 2},
            "contentChanges": [{"text": "@else 02\n"}]})
        self.assertEqual(sorted(self.published_until_answered()),
                         [("lib.orv", ["Unknown absolute reference: shared"]),
                          ("main.orv", ["Unknown absolute reference: shared"]),
                          ("two.orv", [])])
        # A change to the program republishes the files it reads that are open.
        self.session.notify("textDocument/didChange", {
            "textDocument": {"uri": self.uri("main.orv"), "version": 2},
            "contentChanges": [{"text": "~lib.orv ~two.orv ;lib @shared\n"}]})
        self.assertEqual(sorted(self.published_until_answered()),
                         [("lib.orv", []), ("main.orv", ["Unused label: else"]),
                          ("two.orv", ["Unused label: else"])])

    def test_a_library_opened_alone_has_no_unused_label_warnings(self):
        os.makedirs(os.path.join(self.root, "src", "deep"))
        self.write("src/deep/uses.orv", "( ~lib/not-this.orv ) ~lib/util.orv ;util\n")
        os.makedirs(os.path.join(self.root, "lib"))
        self.assertEqual(messages(self.open("lib/util.orv", "@util 01 @other 02\n")), [])
        # A file no source includes is a program: its unused labels are warned.
        self.assertEqual(messages(self.open("lib/not-this.orv", "@alone 01\n")),
                         ["Unused label: alone"])

    def test_the_root_without_a_workspace_folder(self):
        # No root from the client: the nearest ancestor with .git, else the
        # document's own directory, whatever the server's directory is.
        os.makedirs(os.path.join(self.root, "repo", ".git"))
        os.makedirs(os.path.join(self.root, "repo", "src"))
        os.makedirs(os.path.join(self.root, "alone"))
        self.write("repo/lib.orv", "@lib 01\n")
        self.write("alone/lib.orv", "@lib 02\n")
        session = Session(BINARY, "/")
        session.initialize(rootUri=None)
        for name in ("repo/src/main.orv", "alone/main.orv"):
            with self.subTest(name=name):
                uri = self.uri(name)
                include = "~lib.orv" if name.startswith("alone") else "~lib.orv"
                session.notify("textDocument/didOpen", {"textDocument": {
                    "uri": uri, "version": 1, "text": include + " ;lib\n"}})
                self.assertEqual(session.diagnostics(uri), [])
        session.finish()


class Speed(ServerTest):
    """Long lines and many changes cost time in proportion to the answer:
    each limit, in the server's processor time, is for an optimized build,
    ORVASM_LSP_SLOWDOWN times it for others."""

    LIMIT = 1.0 * float(os.environ.get("ORVASM_LSP_SLOWDOWN", "1"))

    def setUp(self):
        super().setUp()
        self.session.initialize()

    def cpu_seconds(self):
        """The processor time the server has used, which other work on the
        machine does not stretch as it does the time on the clock."""
        with open("/proc/%d/stat" % self.session.process.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def timed(self, action):
        start = self.cpu_seconds()
        result = action()
        return result, self.cpu_seconds() - start

    def test_a_one_line_mebibyte_with_1000_labels(self):
        # Non-ASCII text, so that every position is counted in UTF-16 units.
        filler = "( " + "\u00e9t\u00e9 " * 80 + ")"
        text = "01 " + " ".join("@l%d %s" % (i, filler) for i in range(1000))
        text += " " * max(0, (1 << 20) - len(text.encode()))
        diagnostics, seconds = self.timed(lambda: self.open("long.orv", text))
        self.assertEqual(len(diagnostics), 1000)
        self.assertEqual(diagnostics[-1]["message"], "Unused label: l999")
        at = text.index("@l999")
        units = len(text[:at].encode("utf-16-le")) // 2
        self.assertEqual(diagnostics[-1]["range"]["start"], {"line": 0, "character": units})
        self.assertLess(seconds, self.LIMIT)

    def test_4000_changes_in_one_message(self):
        rows = 26000
        text = "".join("( \u00e9crit de ligne %05d avec du texte )\n" % i for i in range(rows))
        self.assertGreater(len(text.encode()), 1_000_000)
        self.assertEqual(self.open("many.orv", text), [])
        changes, changed = [], set()
        for i in range(4000):
            row = (i * 7919) % rows
            changed.add(row)
            at = {"line": row, "character": 1}
            changes.append({"range": {"start": at, "end": at}, "text": "x"})
        # Each change makes its line's "(" a malformed "(x".
        diagnostics, seconds = self.timed(lambda: self.change("many.orv", changes))
        self.assertLess(seconds, self.LIMIT)
        self.assertEqual([place(d) for d in diagnostics],
                         [(row, 0, row, 2) for row in sorted(changed)[:1000]])

# A program for the editor features: two labels, a macro over three lines,
# a comment over two.
FEATURES = ("( first line\n"
            "  second line )\n"
            "%twice {\n"
            "  DUP ADD }\n"
            "@main #01 twice\n"
            "  &loop ,&loop JMP\n"
            "  main BRK\n"
            "@data 1234 \"hi\n")


class EditorFeatures(ServerTest):
    """Highlights, workspace symbols, declaration, folding and inlay hints."""

    def setUp(self):
        super().setUp()
        self.session.initialize(initializationOptions={"inlayHints": True})
        self.open("main.orv", FEATURES)

    def ask(self, method, **params):
        params["textDocument"] = {"uri": self.uri("main.orv")}
        return self.session.request("textDocument/" + method, params)["result"]

    def test_highlight_marks_every_use_and_the_definition(self):
        result = self.ask("documentHighlight", position=spot(FEATURES, ",&loop", 0, 2))
        self.assertEqual([(place(h), h["kind"]) for h in result],
                         [(span(FEATURES, "&loop"), 3), (span(FEATURES, ",&loop"), 2)])
        result = self.ask("documentHighlight", position=spot(FEATURES, "#01"))
        self.assertEqual(result, [])
        # A name defined nowhere: every use, each a read.
        self.open("undefined.orv", "@a ;nowhere ;nowhere")
        result = self.session.request("textDocument/documentHighlight", {
            "textDocument": {"uri": self.uri("undefined.orv")},
            "position": {"line": 0, "character": 5}})["result"]
        self.assertEqual([(place(h), h["kind"]) for h in result],
                         [((0, 3, 0, 11), 2), ((0, 12, 0, 20), 2)])

    def test_declaration_is_the_definition(self):
        result = self.ask("declaration", position=spot(FEATURES, "  main", 0, 3))
        self.assertEqual(place(result), span(FEATURES, "@main"))

    def test_workspace_symbols_of_every_open_program(self):
        self.write("lib.orv", "@helper 01\n")
        self.open("other.orv", "~lib.orv @other ;helper\n")
        result = self.session.request("workspace/symbol", {"query": ""})["result"]
        found = {(s["name"], s["kind"], os.path.basename(s["location"]["uri"])) for s in result}
        self.assertEqual(found, {("main", 3, "main.orv"), ("main/loop", 8, "main.orv"),
                                 ("data", 3, "main.orv"), ("twice", 12, "main.orv"),
                                 ("helper", 3, "lib.orv"), ("other", 3, "other.orv")})
        result = self.session.request("workspace/symbol", {"query": "LOO"})["result"]
        self.assertEqual([s["name"] for s in result], ["main/loop"])
        # lib.orv open too is assembled through other.orv: each symbol still once.
        self.open("lib.orv", "@helper 01\n")
        result = self.session.request("workspace/symbol", {"query": "e"})["result"]
        found = sorted((s["name"], os.path.basename(s["location"]["uri"])) for s in result)
        self.assertEqual(found, [("helper", "lib.orv"), ("other", "other.orv"),
                                 ("twice", "main.orv")])

    def test_folding_ranges(self):
        result = self.ask("foldingRange")
        folds = {(f["startLine"], f["endLine"], f.get("kind")) for f in result}
        # The comment, the macro, and main up to the line before data.
        self.assertEqual(folds, {(0, 1, "comment"), (2, 3, None), (4, 6, None)})

    def test_inlay_hints_give_addresses_of_labels_and_lines(self):
        result = self.ask("inlayHint", range={"start": {"line": 0, "character": 0},
                                             "end": {"line": 8, "character": 0}})
        hints = [(h["position"]["line"], h["position"]["character"], h["label"]) for h in result]
        # main at 0100 (#01 is 80 01, twice 06 18), loop at 0104 (,&loop and
        # JMP), the call of main at 0107 (three bytes, then BRK), data at 010b.
        self.assertEqual(hints, [(4, 0, "0100"), (4, 5, "0100"), (5, 0, "0104"), (5, 7, "0104"),
                                 (6, 0, "0107"), (7, 0, "010b"), (7, 5, "010b")])
        # A range gives the hints within it.
        result = self.ask("inlayHint", range={"start": {"line": 5, "character": 0},
                                             "end": {"line": 6, "character": 0}})
        self.assertEqual(len(result), 2)

    def test_inlay_hints_are_off_by_default(self):
        session = Session(BINARY, self.root)
        capabilities = session.initialize()["result"]["capabilities"]
        self.assertNotIn("inlayHintProvider", capabilities)
        session.notify("textDocument/didOpen", {"textDocument": {
            "uri": self.uri("main.orv"), "version": 1, "text": FEATURES}})
        response = session.request("textDocument/inlayHint", {
            "textDocument": {"uri": self.uri("main.orv")},
            "range": {"start": {"line": 0, "character": 0}, "end": {"line": 9, "character": 0}}})
        self.assertEqual(response["result"], [])
        session.finish()


def decode(data, legend, text):
    """The (line, character, token text, type, modifiers) of packed tokens."""
    lines = text.split("\n")
    tokens, line, character = [], 0, 0
    for i in range(0, len(data), 5):
        delta_line, delta_start, length, kind, modifiers = data[i:i + 5]
        line += delta_line
        character = character + delta_start if delta_line == 0 else delta_start
        tokens.append((line, character, lines[line][character:character + length],
                       legend["tokenTypes"][kind],
                       [m for b, m in enumerate(legend["tokenModifiers"]) if modifiers >> b & 1]))
    return tokens


class SemanticTokens(ServerTest):
    TEXT = ("( a comment\n  over two lines )\n"
            "%twice { DUP ADD }\n"
            "@main #01 twice main ;main/x JMP2k |0200 $2\n"
            "  &x 12 abcd \"hi ~lib.orv [ ]\n")

    def setUp(self):
        super().setUp()
        self.write("lib.orv", "")
        result = self.session.initialize()["result"]
        self.legend = result["capabilities"]["semanticTokensProvider"]["legend"]
        self.open("main.orv", self.TEXT)

    def tokens(self, method, **params):
        params["textDocument"] = {"uri": self.uri("main.orv")}
        response = self.session.request("textDocument/semanticTokens/" + method, params)
        return decode(response["result"]["data"], self.legend, self.TEXT)

    def test_every_kind_of_token(self):
        kinds = {(text, kind, tuple(modifiers))
                 for _, _, text, kind, modifiers in self.tokens("full")}
        self.assertEqual(kinds, {
            ("(", "comment", ()), ("a", "comment", ()), ("comment", "comment", ()),
            ("over", "comment", ()), ("two", "comment", ()), ("lines", "comment", ()),
            (")", "comment", ()),
            ("%twice", "macro", ("declaration",)), ("DUP", "keyword", ()), ("ADD", "keyword", ()),
            ("@main", "namespace", ("declaration",)), ("#01", "number", ()),
            # A word is a macro use or a label call, as the program defines it.
            ("twice", "macro", ()), ("main", "function", ()),
            (";main/x", "variable", ()), ("JMP", "keyword", ()), ("2k", "modifier", ()),
            ("|0200", "operator", ()), ("$2", "operator", ()),
            ("&x", "property", ("declaration",)), ("12", "enumMember", ()),
            ("abcd", "enumMember", ()), ('"hi', "string", ()), ("~lib.orv", "type", ())})

    def test_a_range_gives_the_tokens_within_it(self):
        found = self.tokens("range", range={"start": {"line": 4, "character": 0},
                                            "end": {"line": 4, "character": 8}})
        self.assertEqual([(line, character, text) for line, character, text, _, _ in found],
                         [(4, 2, "&x"), (4, 5, "12")])
        # A range without an end is the whole document.
        self.assertEqual(self.tokens("range", range={"start": {"line": 4, "character": 0}}),
                         self.tokens("full"))

    def test_positions_in_utf16_units(self):
        text = '"\u00e9\U0001F600 @l\n'
        self.change("main.orv", [{"text": text}])
        response = self.session.request("textDocument/semanticTokens/full",
                                        {"textDocument": {"uri": self.uri("main.orv")}})
        data = response["result"]["data"]
        self.assertEqual(data[:5], [0, 0, 4, self.legend["tokenTypes"].index("string"), 0])
        self.assertEqual(data[5:8], [0, 5, 2])


class CodeActions(ServerTest):
    """Quick fixes are the library's certain fixes, taken as they come."""

    def setUp(self):
        super().setUp()
        self.session.initialize()

    def fixes(self, text):
        diagnostics = self.open("main.orv", text)
        if not any("relatedInformation" in d for d in diagnostics):
            self.skipTest("the library gives no hints")
        response = self.session.request("textDocument/codeAction", {
            "textDocument": {"uri": self.uri("main.orv")},
            "range": {"start": {"line": 0, "character": 0}, "end": {"line": 0, "character": 40}},
            "context": {"diagnostics": diagnostics}})
        result = response["result"]
        for action in result:
            self.assertEqual(action["kind"], "quickfix")
            self.assertEqual(action["diagnostics"], diagnostics[:1])
        return [(place(edit), edit["newText"]) for action in result
                for edit in action["edit"]["changes"][self.uri("main.orv")]]

    def test_upper_case_hexadecimal(self):
        self.assertEqual(self.fixes("@main #FF POP BRK"), [((0, 6, 0, 9), "#ff")])

    def test_the_one_name_within_reach(self):
        self.assertEqual(self.fixes("@main ;mesage JSR2 BRK @message"),
                         [((0, 6, 0, 13), ";message")])

    def test_only_fixes_of_diagnostics_in_the_range(self):
        self.open("main.orv", "(note ) @main #FF POP BRK")
        def actions(start, end):
            return self.session.request("textDocument/codeAction", {
                "textDocument": {"uri": self.uri("main.orv")},
                "range": {"start": {"line": 0, "character": start},
                          "end": {"line": 0, "character": end}},
                "context": {"diagnostics": []}})["result"]
        found = actions(0, 25)
        if not found:
            self.skipTest("the library gives no hints")
        self.assertEqual([a["title"] for a in found], ["Replace with `#ff`"])
        # The warning on "(note" has no fix; the ranges before and after
        # "#FF" hold no diagnostic with one.
        self.assertEqual(actions(0, 5), [])
        self.assertEqual(actions(20, 25), [])
        self.assertEqual([a["title"] for a in actions(16, 16)], ["Replace with `#ff`"])

    def test_no_fix_where_none_is_certain(self):
        self.assertEqual(self.fixes("@main ;zzzzzz JSR2 BRK @message @massage"), [])


if __name__ == "__main__":
    unittest.main()

// The CodeMirror 6 editor of the end-to-end tests' page, bundled by scripts/setup.
import { EditorView, basicSetup } from "codemirror";
import { javascript } from "@codemirror/lang-javascript";

window.startCodeMirror = (parent, doc) => new EditorView({ doc, extensions: [basicSetup, javascript()], parent });

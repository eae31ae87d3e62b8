// Drives the built quillmer-mcp with the official MCP client libraries of both protocol eras:
// list the tools, read the newest meeting's brief, fetch one cited frame and compare its bytes.
// usage: node mcp_clients_test.mjs SERVER GENERATOR
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, mkdirSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { Client as LegacyClient } from '@modelcontextprotocol/sdk/client/index.js';
import { StdioClientTransport as LegacyTransport } from '@modelcontextprotocol/sdk/client/stdio.js';
import { Client as ModernClient } from '@modelcontextprotocol/client';
import { StdioClientTransport as ModernTransport } from '@modelcontextprotocol/client/stdio';

const [server, generator] = process.argv.slice(2);
const root = mkdtempSync(join(tmpdir(), 'quillmer-mcp-'));
execFileSync(generator, [root, '4']);
mkdirSync(join(root, '.99999999-0000-4000-8000-000000000000.exporting'));  // half-written: never listed
const newest = '00000000-0000-4000-8000-000000000003';
const params = { command: server, env: { QUILLMER_LIBRARY_ROOTS: root, PATH: process.env.PATH } };

const structured = (result) => {
  assert.equal(result.isError, false, JSON.stringify(result.content));
  assert.deepEqual(JSON.parse(result.content.at(-1).text), result.structuredContent);
  return result.structuredContent;
};

async function exercise(client, era, notFoundCode) {
  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((t) => t.name).sort(),
    ['get_brief', 'get_evidence', 'get_frame', 'get_summary', 'list_meetings', 'search']);
  assert.ok(tools.every((t) => t.annotations.readOnlyHint));

  const { meetings } = structured(await client.callTool({ name: 'list_meetings', arguments: {} }));
  assert.equal(meetings.length, 4);
  assert.equal(meetings[0].id, newest);

  const brief = structured(await client.callTool({ name: 'get_brief', arguments: { meeting: newest } }));
  assert.equal(brief.text, readFileSync(join(root, newest, 'implementation-brief.md'), 'utf8'));

  const { moments } = structured(await client.callTool({ name: 'get_evidence', arguments: { meeting: newest } }));
  const cited = moments[0].feedback.citedFrames[0];
  const frame = await client.callTool({ name: 'get_frame', arguments: { meeting: newest, path: cited } });
  const image = frame.content.find((c) => c.type === 'image');
  assert.equal(image.mimeType, 'image/png');
  assert.ok(Buffer.from(image.data, 'base64').equals(readFileSync(join(root, newest, cited))));

  // A hostile path is a tool error, an unknown resource a protocol error; the server keeps serving.
  const escape = await client.callTool({ name: 'get_frame', arguments: { meeting: newest, path: '../../etc/passwd' } });
  assert.equal(escape.isError, true);
  await assert.rejects(client.readResource({ uri: `quillmer://meetings/${newest}/nothing.md` }),
    (error) => error.code === notFoundCode);
  const read = await client.readResource({ uri: `quillmer://meetings/${newest}/brief.md` });
  assert.equal(read.contents[0].text, brief.text);
  console.log(`${era}: ok`);
}

try {
  const legacy = new LegacyClient({ name: 'quillmer-test', version: '1' });
  await legacy.connect(new LegacyTransport(params));
  await exercise(legacy, 'sdk 1.x, initialize', -32002);
  await legacy.close();

  const modern = new ModernClient({ name: 'quillmer-test', version: '1' }, { versionNegotiation: { mode: 'auto' } });
  await modern.connect(new ModernTransport(params));
  assert.equal(modern.getNegotiatedProtocolVersion(), '2026-07-28');
  await exercise(modern, 'client 2.x, stateless', -32602);
  await modern.close();
} finally {
  rmSync(root, { recursive: true, force: true });
}

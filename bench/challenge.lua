-- wrk script: whole challenges against `glimmark serve`, as a visitor's
-- browser fetches them. Each challenge is the form (GET /) and then the
-- picture its <img> names (GET /captcha?token=...). Each wrk thread queues
-- the picture addresses its forms name and asks for a queued picture before
-- the next form, so half the requests are forms and half pictures. At the end
-- it prints challenges per second (pictures received over the run's duration)
-- and the answers other than 200, which a sound run has none of.
--
--   wrk -t2 -c8 -d20s -s bench/challenge.lua http://127.0.0.1:18081/
local threads = {}

function setup(thread)
  table.insert(threads, thread)
end

-- Globals, so that done() can read each thread's counts with thread:get.
function init(args)
  pending = {}
  forms = 0
  pictures = 0
  failures = 0
end

function request()
  local address = table.remove(pending)
  if address then
    return wrk.format("GET", address)
  end
  return wrk.format("GET", "/")
end

function response(status, headers, body)
  if status ~= 200 then
    failures = failures + 1
    return
  end
  -- Pictures are counted by their type and never searched: scanning every
  -- picture's bytes for the form's pattern took about a quarter of wrk's
  -- CPU, which on a shared machine is taken from the host under test.
  local kind = headers["Content-Type"]
  if kind and string.find(kind, "image/", 1, true) then
    pictures = pictures + 1
    return
  end
  local picture = body and string.match(body, 'src="(/captcha%?token=[^"]+)"')
  if picture then
    forms = forms + 1
    table.insert(pending, picture)
  end
end

function done(summary, latency, requests)
  local totalForms, total, failed = 0, 0, 0
  for _, thread in ipairs(threads) do
    totalForms = totalForms + thread:get("forms")
    total = total + thread:get("pictures")
    failed = failed + thread:get("failures")
  end
  local seconds = summary.duration / 1e6
  io.write(string.format("forms: %d, pictures: %d\n", totalForms, total))
  io.write(string.format("challenges: %d in %.2f s = %.1f per second; failed answers: %d\n",
                         total, seconds, total / seconds, failed))
end

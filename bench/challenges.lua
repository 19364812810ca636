-- wrk script: whole challenges, as a visitor's browser fetches them. Each
-- connection asks for the form (GET /), takes the envelope out of it, then
-- asks for that envelope's picture (GET /captcha?token=...), and again.
-- At the end it prints challenges per second: pictures served (status 200)
-- over the run's duration, and the non-200 answers of each kind.
--   wrk -t2 -c8 -d30s -s bench/challenges.lua http://127.0.0.1:8080/

local envelopes = {}  -- from forms answered, waiting for their picture
-- Globals, so that done() can read each thread's counts with thread:get.
forms, pictures, refused = 0, 0, 0

request = function()
  local envelope = table.remove(envelopes)
  if envelope then
    return wrk.format("GET", "/captcha?token=" .. envelope)
  end
  return wrk.format("GET", "/")
end

response = function(status, headers, body)
  local envelope = body:match('name="token" value="([^"]+)"')
  if status ~= 200 then
    refused = refused + 1
  elseif envelope then
    forms = forms + 1
    table.insert(envelopes, envelope)
  else
    pictures = pictures + 1
  end
end

local threads = {}

setup = function(thread)
  table.insert(threads, thread)
end

done = function(summary, latency, requests)
  local totalForms, totalPictures, totalRefused = 0, 0, 0
  for _, thread in ipairs(threads) do
    totalForms = totalForms + thread:get("forms")
    totalPictures = totalPictures + thread:get("pictures")
    totalRefused = totalRefused + thread:get("refused")
  end
  local seconds = summary.duration / 1e6
  io.write(string.format("challenges: %d forms, %d pictures, %d refused in %.2f s\n",
                         totalForms, totalPictures, totalRefused, seconds))
  io.write(string.format("challenges/s: %.1f\n", totalPictures / seconds))
end
